#!/usr/bin/env python3
"""Large synthetic inputs for the simulated host, deterministic by seed.

  make_inputs.py stage1 OUT --files N --components M [--sharing R] [--duplicate-sysids R] [--seed S]
      OUT/input/: N files below sub-directories of 500 each: packages, bundles
      and sd files with one assembly each (the parts drawn from M components),
      and about one Annotation drawing in ten, owned by assemblies of earlier
      files. A used part is taken again by a later file with probability
      --sharing (the same part in two files); a new part takes the sysid of an
      earlier, different part with probability --duplicate-sysids.

  make_inputs.py extraction OUT --files N --components M [--sharing R] [--duplicate-sysids R] [--seed S]
      OUT/master_list.csv and OUT/files/: M model records (one in five an
      assembly, the rest parts; instance and contents files each) and N
      drawing records with one to three owned views. An assembly child uses
      any earlier part with probability --sharing, else the latest one; a
      child instance repeats the sysid of an instance of another model file
      with probability --duplicate-sysids (the drawing associator then finds
      the owner in several models). One drawing in twenty has a view whose
      owner no model has.

  make_inputs.py checkin OUT --instances N --names M --stored S [--seed S]
      OUT/assembly.pkg: one model "assembly" of N instances in all: groups of
      about a hundred parts below the top, the parts drawn from contents
      carrying M distinct names (top and groups included). One part name in
      ten is carried by two or three distinct contents (a name conflict), one
      in five has a character that sanitizing replaces (in pairs that differ
      only there and sanitize to one name), one in a hundred is a database
      component in session (a "DB-DREF" reference), and one contents in
      fifty has no name.
      OUT/seed.lsp: a Model Manager seed of S stored models; one part name
      in five is among them with one to three stored versions (some released
      as the name query prefers), the rest carry names of their own.

The formats are those of docs/host-sim.md. Progress goes to stderr.
"""
import argparse
import os
import random
import sys

PER_DIR = 500


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def progress(done, total, what):
    if done % 1000 == 0 or done == total:
        print(f"{what}: {done}/{total}", file=sys.stderr)


def stage1(args, rnd):
    root = os.path.join(args.out, "input")
    parts = []  # (sysid, name, timestamp) of the parts made so far
    next_part = 0
    assemblies = []  # instance sysids of the assemblies written so far
    types = ["pkg", "bdl", "sd"]
    for i in range(args.files):
        sub = os.path.join(root, f"d{i // PER_DIR:04d}")
        if assemblies and rnd.random() < 0.1:
            owners = rnd.sample(assemblies, min(len(assemblies), rnd.randint(1, 3)))
            views = " ".join(f'(:id "V{k + 1}" :owner "{o}")' for k, o in enumerate(owners))
            write(os.path.join(sub, f"drawing{i:06d}.ami"),
                  f'(:sdsim-ami 1)\n(:drawing :number "D{i:06d}" :views ({views}))\n')
            progress(i + 1, args.files, "files")
            continue
        contents, children = {}, []
        for k in range(rnd.randint(2, 8)):
            if parts and (next_part >= args.components or rnd.random() < args.sharing):
                p = rnd.randrange(len(parts))
            else:
                if parts and rnd.random() < args.duplicate_sysids:
                    sysid = rnd.choice(parts)[0]
                else:
                    sysid = f"S{args.seed}-P{next_part:07d}"
                parts.append((sysid, f"part {next_part}", 3.0e9 + next_part))
                next_part += 1
                p = len(parts) - 1
            sysid, name, stamp = parts[p]
            contents[f"c{p}"] = f'(:contents :id "c{p}" :sysid "{sysid}" :name "{name}" :timestamp {stamp:.1f}d0)'
            children.append(f'(:name "p{k}" :sysid "S{args.seed}-I{i:07d}-{k}" :contents "c{p}")')
        top = f"S{args.seed}-A{i:07d}"
        assemblies.append(top)
        text = "(:sdsim-model 1)\n" + "\n".join(contents.values()) + "\n"
        text += (f'(:model :sysid "{top}" :name "asm {i}"\n :contents (:sysid "S{args.seed}-C{i:07d}" '
                 f':name "asm {i}" :children ({" ".join(children)})))\n')
        write(os.path.join(sub, f"model{i:06d}.{types[i % 3]}"), text)
        progress(i + 1, args.files, "files")


def extraction(args, rnd):
    files = os.path.join(args.out, "files")
    lines = ["TYPE,NAME,REVISION,PART_NUMBER,FILEPATH,FILE_TO_LOAD"]
    instance_sysids = []  # (model index, instance sysid)
    part_contents = []  # contents files of the parts, relative to files/
    for m in range(args.components):
        d = f"m{m // PER_DIR:04d}"
        name, pn = f"model {m}", f"PN-{m:07d}"
        top = f"S{args.seed}-M{m:07d}"
        if m % 5 == 4 and part_contents:
            children = []
            for k in range(rnd.randint(2, 6)):
                others = [s for s in instance_sysids if s[0] != m]
                if others and rnd.random() < args.duplicate_sysids:
                    sysid = rnd.choice(others)[1]
                else:
                    sysid = f"{top}-I{k}"
                part = rnd.choice(part_contents) if rnd.random() < args.sharing else part_contents[-1]
                children.append(f'(:sysid "{sysid}" :name "c{k}" :type "npart3" :contents (:file "../{part}"))')
                instance_sysids.append((m, sysid))
            write(os.path.join(files, d, f"asm{m}.sda"),
                  f'(:sdsim-model 1)\n(:model :sysid "{top}" :name "{name}" :type "nasmb3" '
                  f':contents (:file "asm{m}.sdac"))\n')
            write(os.path.join(files, d, f"asm{m}.sdac"),
                  f'(:sdsim-model 1)\n(:contents :sysid "{top}-C" :name "{name}" :type "asbm_struct" '
                  f':children ({" ".join(children)}))\n')
            lines.append(f"ME Assembly CAD Model,{name},A,{pn},{d},asm{m}.sdac")
        else:
            write(os.path.join(files, d, f"part{m}.sdp"),
                  f'(:sdsim-model 1)\n(:model :sysid "{top}" :name "{name}" :type "npart3" '
                  f':contents (:file "part{m}.sdpc"))\n')
            write(os.path.join(files, d, f"part{m}.sdpc"),
                  f'(:sdsim-model 1)\n(:contents :sysid "{top}-C" :name "{name}" :type "part_struct")\n')
            part_contents.append(f"{d}/part{m}.sdpc")
            lines.append(f"ME Component CAD Model,{name},A,{pn},{d},part{m}.sdpc")
        instance_sysids.append((m, top))
        progress(m + 1, args.components, "models")
    for n in range(args.files):
        d = f"g{n // PER_DIR:04d}"
        owners = [rnd.choice(instance_sysids)[1] for _ in range(rnd.randint(1, 3))] if instance_sysids else []
        if rnd.random() < 0.05:
            owners.append(f"S{args.seed}-UNKNOWN-{n}")
        views = " ".join(f'(:id "V{k + 1}" :owner "{o}")' for k, o in enumerate(owners))
        write(os.path.join(files, d, f"drawing{n}.ami"),
              f'(:sdsim-ami 1)\n(:drawing :number "D{n}" :views ({views}))\n')
        m = rnd.randrange(args.components) if args.components else 0
        lines.append(f"ME Drawing,model {m},A,PN-{m:07d},{d},drawing{n}.ami")
        progress(n + 1, args.files, "drawings")
    write(os.path.join(args.out, "master_list.csv"), "\n".join(lines) + "\n")


def checkin(args, rnd):
    groups = max(1, min(args.instances // 100, args.names // 2))
    part_names = args.names - 1 - groups
    part_instances = args.instances - 1 - groups
    if part_names < 1 or part_instances < part_names:
        sys.exit("checkin: --instances must exceed --names, and --names leave room for the groups")
    names = []
    for n in range(part_names):
        if n % 10 == 3:
            # Both sanitize to "Lager 1 <n>".
            names.append(f"Lager \u00c4 {n}")
        elif n % 10 == 4:
            names.append(f"Lager \u00d6 {n - 1}")
        else:
            names.append(f"part {n:05d}")
    contents = []  # (id, form)
    for n, name in enumerate(names):
        copies = rnd.randint(2, 3) if n % 10 == 7 else 1
        for k in range(copies):
            cid = f"p{n}" if k == 0 else f"p{n}-{k}"
            attributes = ""
            if n % 100 == 11 and k == 0:
                attributes = f' :attributes (("DB-DREF" :elid "E-IN-{n}" :unique_id_string "U|{n}|1"))'
            contents.append((cid, f'(:contents :id "{cid}" :sysid "S{args.seed}-C{cid}" :name "{name}" '
                                  f':timestamp {3.9e9 + n:.1f}d0{attributes})'))
        progress(n + 1, part_names, "part names")
    for u in range(max(1, len(contents) // 50)):
        contents.append((f"u{u}", f'(:contents :id "u{u}" :sysid "S{args.seed}-U{u}")'))
    # Every contents is used once, the other instances take any of them.
    uses = [cid for cid, _ in contents]
    if len(uses) > part_instances:
        sys.exit("checkin: too few --instances for the contents of --names")
    uses += [rnd.choice(uses) for _ in range(part_instances - len(uses))]
    rnd.shuffle(uses)
    group_forms = []
    per_group = -(-len(uses) // groups)
    for g in range(groups):
        children = " ".join(f'(:name "i{k}" :sysid "S{args.seed}-I{g}-{k}" :contents "{cid}")'
                            for k, cid in enumerate(uses[g * per_group:(g + 1) * per_group]))
        group_forms.append(f'(:contents :id "g{g}" :sysid "S{args.seed}-G{g}" :name "group {g}" '
                           f':children ({children}))')
    tops = " ".join(f'(:name "g{g}" :sysid "S{args.seed}-GI{g}" :contents "g{g}")' for g in range(groups))
    text = "(:sdsim-model 1)\n" + "\n".join(f for _, f in contents) + "\n" + "\n".join(group_forms) + "\n"
    text += (f'(:model :sysid "S{args.seed}-TOP" :name "assembly"\n :contents (:sysid "S{args.seed}-CTOP" '
             f':name "assembly" :children ({tops})))\n')
    write(os.path.join(args.out, "assembly.pkg"), text)
    print(f"assembly: {args.instances} instances, {len(contents)} contents, {args.names} names", file=sys.stderr)
    lines = []
    stored = 0

    def store(name, released, day):
        extra = ' :project_id "DEAR3S4P7X5BG4" :enovia_migrated "1" :enovia_part_er "00"' if released else ""
        state = "TC-RELEASED" if released or rnd.random() < 0.5 else "IN-WORK"
        lines.append(f'(:name "{name}" :revision "{chr(65 + day % 26)}" :state "{state}" '
                     f':model_objtype "MODEL_3D-PART" :create_date "20{10 + day % 15:02d}-{1 + day % 12:02d}-'
                     f'{1 + day % 28:02d} 10:{day % 60:02d}:00"{extra})')

    for n, name in enumerate(names):
        if n % 5 != 0 or stored >= args.stored:
            continue
        for v in range(min(rnd.randint(1, 3), args.stored - stored)):
            store(name, rnd.random() < 0.3, n + v)
            stored += 1
    while stored < args.stored:
        store(f"stored {stored:07d}", rnd.random() < 0.3, stored)
        stored += 1
        progress(stored, args.stored, "stored models")
    write(os.path.join(args.out, "seed.lsp"), "\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("kind", choices=["stage1", "extraction", "checkin"])
    parser.add_argument("out")
    parser.add_argument("--files", type=int)
    parser.add_argument("--components", type=int)
    parser.add_argument("--instances", type=int)
    parser.add_argument("--names", type=int)
    parser.add_argument("--stored", type=int)
    parser.add_argument("--sharing", type=float, default=0.3)
    parser.add_argument("--duplicate-sysids", type=float, default=0.02)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    needed = ["instances", "names", "stored"] if args.kind == "checkin" else ["files", "components"]
    missing = [f"--{n}" for n in needed if getattr(args, n) is None]
    if missing:
        parser.error(f"{args.kind} needs {' '.join(missing)}")
    rnd = random.Random(args.seed)
    {"stage1": stage1, "extraction": extraction, "checkin": checkin}[args.kind](args, rnd)


if __name__ == "__main__":
    main()
