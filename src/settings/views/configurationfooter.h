#pragma once

#include <QWidget>
#include <filesystem>
#include <memory>

class QLabel;
class QPushButton;

namespace korvane {

class UrlOpener;

// The line under both columns of the settings window: the configuration file's path with the home
// folder shown as "~", and "Edit Config File", which hands the file's URL to the desktop's opener
// (never a command line) and neither creates the file nor reports anything. Main thread.
class ConfigurationFooter final : public QWidget {
    Q_OBJECT

public:
    ConfigurationFooter(std::filesystem::path configFile, std::shared_ptr<UrlOpener> urlOpener,
                        QWidget* parent = nullptr);

    // `path` with the home folder `home` abbreviated to "~" when it lies inside it.
    static QString abbreviatedPath(const QString& path, const QString& home);

private:
    std::filesystem::path configFile_;
    std::shared_ptr<UrlOpener> urlOpener_;
};

} // namespace korvane
