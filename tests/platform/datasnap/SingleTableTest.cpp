// Which statements read one table, so that changes to their rows can be
// written back to it; anything that might not map rows one to one does not.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/datasnap/SingleTable.h"

namespace quor::datasnap {
namespace {

TEST(SingleTable, OnlyPlainSelectsOfOneTableNameTheirTable) {
  struct Case {
    const char* statement;
    std::optional<std::string> table;
  };
  const std::vector<Case> cases = {
      {"select ID, Name from Goods", "Goods"},
      {"SELECT * FROM dbo.[Goods] WHERE Stopped = 0 ORDER BY ID", "dbo.[Goods]"},
      {"select top 10 g.ID, g.[Name] from [Goods] with (nolock) where ID > 3", "[Goods]"},
      {"select ID from QuorData01.dbo.Goods", "QuorData01.dbo.Goods"},
      {"  select\r\n ID\r\n from Goods\r\n", "Goods"},
      {"select [商品].ID from 商品", "商品"},
      {"select ID, Name from Goods where Name = 'a''b'", "Goods"},
      // Not one table, or not rows of it one to one.
      {"select g.ID, s.Name from Goods g join Stock s on s.ID = g.ID", std::nullopt},
      {"select ID from Goods, Stock", std::nullopt},
      {"select ID from Goods g", std::nullopt},
      {"select ID as Code from Goods", std::nullopt},
      {"select ID Code from Goods", std::nullopt},
      {"select ID + 1 from Goods", std::nullopt},
      {"select count(*) from Goods", std::nullopt},
      {"select distinct Name from Goods", std::nullopt},
      {"select ID from Goods group by ID", std::nullopt},
      {"select ID from Goods where ID in (select ID from Stock)", std::nullopt},
      {"select ID from Goods union select ID from Stock", std::nullopt},
      {"select ID from Goods where ID = 1 union all select 2", std::nullopt},
      {"select ID from Goods; delete from Goods", std::nullopt},
      {"select ID from Goods -- comment", std::nullopt},
      {"select ID from Goods /* x */", std::nullopt},
      {"select ID into Copy from Goods", std::nullopt},
      {"select ID from (select ID from Goods) t", std::nullopt},
      {"select 1", std::nullopt},
      {"update Goods set Name = 'x'", std::nullopt},
      {"exec P_Goods", std::nullopt},
      {"select ID from [Goods", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(SingleTableOf(c.statement), c.table);
  }
}

}  // namespace
}  // namespace quor::datasnap
