#pragma once

#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <memory>

class QLabel;
class QPushButton;

namespace korvane {

class ConfigurationViewModel;
class UrlOpener;

// The line under both columns of the settings window: the configuration file's path with the home
// folder shown as "~", why the file was last left unwritten (it did not parse, or the write failed)
// while that holds, and "Edit Config File", which hands the file's URL to the desktop's opener
// (never a command line) and neither creates the file nor reports anything. Main thread.
class ConfigurationFooter final : public QWidget {
    Q_OBJECT

public:
    ConfigurationFooter(std::shared_ptr<ConfigurationViewModel> viewModel,
                        std::shared_ptr<UrlOpener> urlOpener, QWidget* parent = nullptr);
    ~ConfigurationFooter() override;

    // `path` with the home folder `home` abbreviated to "~" when it lies inside it.
    static QString abbreviatedPath(const QString& path, const QString& home);

private:
    void showFileError();

    std::shared_ptr<ConfigurationViewModel> viewModel_;
    std::filesystem::path configFile_;
    std::shared_ptr<UrlOpener> urlOpener_;
    QLabel* error_ = nullptr;
    std::uint64_t observer_ = 0;
};

} // namespace korvane
