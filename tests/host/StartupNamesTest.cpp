#include "host/StartupNames.h"

#include <gtest/gtest.h>

#include "ServerPublic/Edition.h"

namespace quor::host {
namespace {

TEST(EditionTable, TheFirstCodeFoundInTheFileNameWins) {
  struct Case {
    const char* fileName;
    const char* vocation;  // nullptr: no edition
    const char* caption;   // checked when not nullptr
  };
  const Case cases[] = {
      {"QuorServerBZ.exe", "BZ", "商贸标准版服务器"},
      {"QuorServerBZ", "BZ", nullptr},
      {"QuorServerQX", "QX", "汽车维修版服务器"},
      {"QuorServerQX.exe", "QX", nullptr},
      {"quorserverqx.exe", "QX", nullptr},
      {"QuorServerBZ.1.exe", "BZ", nullptr},
      {"QuorQX.ServerBZ.exe", "BZ", nullptr},  // BZ is searched before QX
      {"QX.BZ.exe", "BZ", nullptr},
      {"YX.SC.exe", "YX", nullptr},
      {"QuorServerCM.exe", "CM", "超市门店版服务器"},
      {"QuorServerFZ.exe", "FZ", nullptr},
      {"QuorServerMY.exe", "MY", nullptr},
      {"QuorServerSP.exe", "SP", nullptr},
      {"QuorServerCW.exe", "CW", nullptr},
      {"QuorServerCY.exe", "CY", nullptr},
      {"QuorServerCL.exe", "CL", nullptr},
      {"QuorServerQP.exe", "QP", nullptr},
      {"QuorServerYY.exe", "YY", "医药连锁版服务器"},
      {"QuorServerYX.exe", "YX", "医疗器械版服务器"},
      {"QuorServerNZ.exe", "NZ", "农资经营版服务器"},
      {"QuorServerIT.exe", "IT", nullptr},
      {"QuorServerSC.exe", "SC", nullptr},
      {"QuorServerALL.exe", "BZ", "内部测试用"},
      {"QuorServerAll", "BZ", "内部测试用"},
      {"QuorServerALL.BZ.exe", "BZ", "商贸标准版服务器"},
      {"QuorServer.exe", nullptr, nullptr},
      {"QuorServer", nullptr, nullptr},
      {"QuorServerXX.exe", nullptr, nullptr},
      {"QuorServerBZ2.exe", nullptr, nullptr},
      {"Quor.ServerBZ", nullptr, nullptr},  // has an extension, and no "BZ." in it
      {"BZ", "BZ", nullptr},
      {"", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    std::optional<Edition> edition = FindEdition(c.fileName);
    if (!c.vocation) {
      EXPECT_FALSE(edition) << c.fileName << " selected " << edition->vocation;
      continue;
    }
    ASSERT_TRUE(edition) << c.fileName;
    EXPECT_EQ(edition->vocation, c.vocation) << c.fileName;
    if (c.caption) {
      EXPECT_EQ(edition->caption, c.caption) << c.fileName;
    }
  }
}

TEST(EditionTable, EveryEditionHasItsOwnServerCaption) {
  auto table = EditionTable();
  ASSERT_EQ(table.size(), 16u);
  EXPECT_EQ(table.back().searchText, "ALL.");
  for (std::size_t i = 0; i + 1 < table.size(); ++i) {
    const Edition& edition = table[i];
    EXPECT_EQ(edition.searchText, edition.vocation + ".");
    const std::string suffix = "服务器";
    ASSERT_GE(edition.caption.size(), suffix.size()) << edition.vocation;
    EXPECT_EQ(edition.caption.substr(edition.caption.size() - suffix.size()), suffix)
        << edition.vocation;
    for (std::size_t j = 0; j < i; ++j) {
      EXPECT_NE(table[j].caption, edition.caption) << edition.vocation;
      EXPECT_NE(table[j].vocation, edition.vocation);
    }
  }
}

TEST(StartupNames, FileNamesDeriveFromTheProgramName) {
  struct Case {
    const char* fileName;
    const char* configFile;
    const char* serviceName;
    const char* mutexName;
  };
  const Case cases[] = {
      {"QuorServerBZ", "QuorServerBZ.dat", "NT_QuorServerBZ", "QUORSERVERBZ_MUTEX"},
      {"QuorServerBZ.exe", "QuorServerBZ.dat", "NT_QuorServerBZ", "QUORSERVERBZ.EXE_MUTEX"},
      {"quorserverqx.exe", "quorserverqx.dat", "NT_quorserverqx", "QUORSERVERQX.EXE_MUTEX"},
      {"QuorServerBZ.1.exe", "QuorServerBZ.1.dat", "NT_QuorServerBZ.1", "QUORSERVERBZ.1.EXE_MUTEX"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConfigFileNameFor(c.fileName), c.configFile) << c.fileName;
    EXPECT_EQ(ServiceNameFor(c.fileName), c.serviceName) << c.fileName;
    EXPECT_EQ(DesktopMutexName(c.fileName), c.mutexName) << c.fileName;
  }
}

TEST(StartupNames, StartupValuesCarryTheEditionAndTheProgramsPlace) {
  ProgramLocation program{"/opt/quor/QuorServerQX.exe", "QuorServerQX.exe", "/opt/quor/"};
  std::optional<StartupValues> values = StartupValuesFor(program, CommandLine{.msde = true});
  ASSERT_TRUE(values);
  EXPECT_EQ(values->vocation, "QX");
  EXPECT_EQ(values->startupVocation, "QX");
  EXPECT_EQ(values->caption, "汽车维修版服务器");
  EXPECT_EQ(values->productTitle, "瓦拓汽车维修版服务器");
  EXPECT_EQ(values->catalogTableName, "ValtoDataBaseQX");
  EXPECT_EQ(values->templateBaseName, "DataBaseBZ") << "until the first ConnectDb";
  EXPECT_EQ(values->configFileName, "QuorServerQX.dat");
  EXPECT_EQ(values->serviceName, "NT_QuorServerQX");
  EXPECT_EQ(values->programPath, "/opt/quor/QuorServerQX.exe");
  EXPECT_EQ(values->programFolder, "/opt/quor/");
  EXPECT_TRUE(values->msdeSwitch);

  ProgramLocation all{"/opt/quor/QuorServerALL", "QuorServerALL", "/opt/quor/"};
  values = StartupValuesFor(all, CommandLine{});
  ASSERT_TRUE(values);
  EXPECT_EQ(values->productTitle, "瓦拓内部测试用");
  EXPECT_EQ(values->catalogTableName, "ValtoDataBaseBZ");
  EXPECT_FALSE(values->msdeSwitch);

  EXPECT_FALSE(StartupValuesFor({"/opt/quor/QuorServer", "QuorServer", "/opt/quor/"}, {}));
}

}  // namespace
}  // namespace quor::host
