// A workstation lives through a restart of its server, and a frozen server is reported within
// the answer timeout. These stop the private MariaDB, so they run alone.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "support/FrozenServer.h"
#include "support/ServerRestart.h"
#include "support/ShortTimeouts.h"
#include "support/store/KundeServerTest.h"
#include "support/store/Workstation.h"

using namespace ff;

namespace {

using ServerRestartTest = KundeServerTest;

TEST_F(ServerRestartTest, AWorkstationPostsAgainAfterTheServerRestartsAndKeepsItsTableExclusive) {
  Workstation ws(db.server().serverName());
  TffTable t;
  open(t, ws.session(), true);
  add(t, 1, "Før omstart");
  ASSERT_TRUE(server_test::RestartPrivateServer(db.server()));
  add(t, 2, "Etter omstart");
  EXPECT_EQ(rowsOnServer(), 2);
  t.First();
  EXPECT_EQ(t.RecordCount(), 2);
  TffTable other;
  EXPECT_THROW(open(other, TffSession::DefaultSession(), true), ECannotOpen);
}

TEST_F(ServerRestartTest, AFrozenServerIsReportedWithinTheAnswerTimeoutAndTheCallAfterItSignsOnAgain) {
  const server_test::ShortTimeouts timeouts("2");
  Workstation ws(db.server().serverName());
  TffTable t;
  open(t, ws.session(), true);
  add(t, 1, "Før");
  std::chrono::duration<double> waited{};
  {
    const server_test::FrozenServer frozen;
    ASSERT_TRUE(frozen.stopped()) << "the private server's pid file";
    const auto start = std::chrono::steady_clock::now();
    try {
      t.Refresh();
      ADD_FAILURE() << "a frozen server answered";
    } catch (const EConnection& e) {
      const std::string silent =
          "Forbindelsen til serveren " + db.server().serverName() + " er brutt: serveren svarte ikke på 2 sekunder";
      EXPECT_EQ(std::string(e.what()).rfind(silent, 0), 0u) << e.what();
    }
    waited = std::chrono::steady_clock::now() - start;
  }
  RecordProperty("frozen_seconds", std::to_string(waited.count()));
  EXPECT_LT(waited.count(), 15);
  add(t, 2, "Etter");
  EXPECT_EQ(rowsOnServer(), 2);
  TffTable other;
  EXPECT_THROW(open(other, TffSession::DefaultSession(), true), ECannotOpen) << "the lock was taken again";
}

}  // namespace
