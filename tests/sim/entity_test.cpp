#include "host/entity.h"

#include <gtest/gtest.h>

#include "host/clusters.h"
#include "host/lisp/errors.h"
#include "host/lisp/eval.h"

namespace {

using namespace host::lisp;

TEST(Entity, ConsoleEntitiesReportTheirSysid) {
  ref e = eval_string("(sdsim:make-entity \"A1B2-0001\")");
  EXPECT_EQ(as_string(host::frame2::inq_entity_sysid(e)), "A1B2-0001");
  EXPECT_EQ(as_string(eval_string("(frame2::inq-entity-sysid (sdsim:make-entity \"Zählwerk\"))")),
            "Zählwerk");
  SIMPLE_ENTITY* entity = object_to_ENTITY_ptr(entity_struct_def, e.get(), nullptr);
  EXPECT_EQ(entity->sysid(), "A1B2-0001");
  EXPECT_EQ(entity->change_count(), 0);
  ASSERT_NE(entity->public_id_storage(), nullptr);
}

TEST(Entity, NonEntitiesHaveNoSysidAndAreNoEntityPointers) {
  EXPECT_TRUE(is_nil(host::frame2::inq_entity_sysid(make_string("A1B2-0001"))));
  EXPECT_TRUE(is_nil(eval_string("(frame2::inq-entity-sysid 12)")));
  ref other = make_handle("DRAWING", nullptr);
  EXPECT_TRUE(is_nil(host::frame2::inq_entity_sysid(other)));
  EXPECT_THROW(object_to_ENTITY_ptr(entity_struct_def, other.get(), nullptr), lisp_error);
}

TEST(Entity, EntitiesWithoutPublicIdKeepTheirSysid) {
  ref e = eval_string("(sdsim:make-entity \"fixed\" :public-id nil)");
  SIMPLE_ENTITY* entity = object_to_ENTITY_ptr(entity_struct_def, e.get(), nullptr);
  EXPECT_EQ(entity->public_id_storage(), nullptr);
  EXPECT_EQ(entity->sysid(), "fixed");
}

TEST(EntityId, EqualTextsGiveEqualIdsAndAPublicCopyKeepsIt) {
  ENTITYID a(0, 0), b(0, 0), c(0, 0);
  EXPECT_EQ(a.text(), "");
  ENTITYID::create_sysid(&a, L"same");
  ENTITYID::create_sysid(&b, L"same");
  ENTITYID::create_sysid(&c, L"different");
  EXPECT_EQ(a.text(), "same");
  EXPECT_EQ(b.text(), "same");
  EXPECT_EQ(c.text(), "different");
  EXPECT_EQ(ENTITYID_PUB(c).text(), "different");
  EXPECT_EQ(ENTITYID(0xFFFFFFFF, 1).text(), "");
}

}  // namespace
