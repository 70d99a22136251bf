#pragma once

#include "platform/fake/manualscheduler.h"
#include "config/configmanager.h"
#include "platform/fake/fakefilewatchsource.h"
#include "platform/fake/fakeplatformcapabilities.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace korvane::test {

// A configuration manager over files in a temporary home, with fake file events and virtual time.
class ConfigManagerTest : public testing::Test {
protected:
    std::filesystem::path configDir() const { return home.path() / ".config" / "korvane"; }
    std::string projectRoot(const std::string& name = "project") const {
        return (home.path() / name).string();
    }

    void writeGlobal(const std::string& json) const { home.write(".config/korvane/config.json", json); }
    void writeProject(const std::string& json, const std::string& name = "project") const {
        home.write(name + "/.korvane.json", json);
    }
    void makeProjectDir(const std::string& name) const {
        std::filesystem::create_directories(home.path() / name);
    }

    TempDir home;
    LogCapture log;
    ManualScheduler scheduler;
    std::shared_ptr<FakeFileWatchSource> source = std::make_shared<FakeFileWatchSource>();
    std::shared_ptr<FakePlatformCapabilities> capabilities = std::make_shared<FakePlatformCapabilities>();
    ConfigManager manager{ConfigLoader(configDir()), ProjectConfigWatcher::factory(scheduler, source),
                          capabilities};
};

} // namespace korvane::test
