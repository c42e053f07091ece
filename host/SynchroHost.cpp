#include "host/SynchroHost.h"

#include <QEventLoop>
#include <QMetaObject>

#include <iostream>

#include "sync/uDataSynchroServer.h"

namespace quor {

SynchroHost::SynchroHost() {
  try {
    synchro_ = std::make_unique<sync::TDataSynchroServer>(sync::ServerSynchroOptions());
  } catch (const std::exception& error) {
    std::cerr << "sync: the synchroniser did not start: " << error.what() << '\n';
    synchro_.reset();
  }
}

SynchroHost::~SynchroHost() = default;

void SynchroHost::AddTo(console::MainFormEnvironment& environment) {
  environment.tools["synchroTimer"] = [this] {
    if (synchro_) synchro_->ApplyTimerRule();
  };
}

console::SelectMobileDbHooks SynchroHost::DialogHooks() {
  console::SelectMobileDbHooks hooks;
  hooks.applySynchroFlags = [this](bool serverSynchronises, bool postAtOnce) {
    if (!synchro_) return;
    synchro_->SetServerSynchronises(serverSynchronises);
    synchro_->SetPostAtOnce(postAtOnce);
  };
  hooks.runManualSynchro = [this]() -> std::vector<std::string> {
    if (!synchro_) return {};
    QEventLoop loop;
    std::vector<std::string> texts;
    bool started = synchro_->StartManualRun([&](std::vector<std::string> shown) {
      // Back to the waiting loop's thread: `texts` belongs to it.
      QMetaObject::invokeMethod(
          &loop,
          [&loop, &texts, shown = std::move(shown)]() mutable {
            texts = std::move(shown);
            loop.quit();
          },
          Qt::QueuedConnection);
    });
    if (!started) return {};  // a manual run is already going
    loop.exec();
    return texts;
  };
  return hooks;
}

}  // namespace quor
