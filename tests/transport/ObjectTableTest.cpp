// The object table's growth and reuse, as clients see it in the indices of
// the objects they create.
#include "transport/ObjectTable.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/com/TableDispatch.h"
#include "transport/TransportError.h"

namespace quor::transport {
namespace {

com::Variant NewObject() {
  return com::Variant::Dispatch(std::make_shared<com::TableDispatch>(
      std::make_shared<const com::DispatchTable>(std::vector<com::MemberInfo>{})));
}

TEST(ObjectTableTest, FullTableGrowsToFirstFreeIndexPlusTenAndFreedSlotsComeFirst) {
  ObjectTable table;
  EXPECT_EQ(table.HighBound(), -1);
  for (std::int32_t i = 0; i <= 10; ++i) EXPECT_EQ(table.RegisterObject(NewObject()), i);
  EXPECT_EQ(table.HighBound(), 10);
  EXPECT_EQ(table.RegisterObject(NewObject()), 11);
  EXPECT_EQ(table.HighBound(), 21);
  table.DropObject(3);
  EXPECT_EQ(table.RegisterObject(NewObject()), 3);
  EXPECT_EQ(table.RegisterObject(NewObject()), 12);
  EXPECT_EQ(table.ObjectCount(), 13u);
}

TEST(ObjectTableTest, DroppingReleasesTheObjectAndBadIndicesAreIgnored) {
  ObjectTable table;
  std::weak_ptr<com::IDispatchObject> watch;
  std::int32_t index = -1;
  {
    const com::Variant object = NewObject();
    watch = object.GetDispatch();
    index = table.RegisterObject(object);
  }
  EXPECT_FALSE(watch.expired()) << "the table keeps the object alive";
  for (std::int32_t bad : {-1, 11, 5000}) table.DropObject(bad);
  EXPECT_EQ(table.ObjectCount(), 1u);
  table.DropObject(index);
  EXPECT_TRUE(watch.expired());
  EXPECT_THROW(table.ObjectAt(index), InterpreterError);
  EXPECT_THROW(table.ObjectAt(-1), InterpreterError);
  EXPECT_THROW(table.ObjectAt(99), InterpreterError);
}

}  // namespace
}  // namespace quor::transport
