// The settings view model's side of the file: the debounced save, the reload after a change on
// disk and the fingerprint.

#include "base/diagnostics.h"
#include "config/configrebase.h"
#include "settings/configurationviewmodel.h"

#include <nlohmann/json.hpp>

namespace korvane {

std::optional<std::string> ConfigurationViewModel::encodeDraft(const AppConfig& config) {
    try {
        // A plain json object sorts its keys, so equal contents give equal bytes.
        return nlohmann::json::parse(config.encode().dump()).dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

void ConfigurationViewModel::scheduleSave() {
    if (saveTask_) {
        saveTask_->cancel();
    }
    std::weak_ptr<ConfigurationViewModel> weak = weak_from_this();
    saveTask_ = scheduler_.postAfter(saveDelay, [weak] {
        if (auto self = weak.lock()) {
            self->performSave();
        }
    });
    notify(Field::saveTask);
}

void ConfigurationViewModel::cancelPendingSave() {
    if (!saveTask_) {
        return;
    }
    saveTask_->cancel();
    saveTask_.reset();
    notify(Field::saveTask);
}

void ConfigurationViewModel::flushPendingSave() {
    if (saveTask_ || isDirty()) {
        performSave();
    }
}

void ConfigurationViewModel::performSave() {
    cancelPendingSave();
    if (!isDirty()) {
        return;
    }
    // The file is read again right before writing, under its lock: an editor, or a snippet saved
    // from the popup, may have changed it since it was last loaded, and that change must stay. The
    // draft's changes are laid over it key by key, also those made while the file did not parse.
    const AppConfig& base = draftBase();
    bool writes = false;
    auto saved = configLoader_.updateConfig([&](const AppConfig& onDisk) -> std::optional<AppConfig> {
        AppConfig toWrite = onDisk == base ? draftConfig_ : rebaseConfig(onDisk, base, draftConfig_);
        writes = toWrite != onDisk;
        return writes ? std::optional(std::move(toWrite)) : std::nullopt;
    });
    if (!saved) {
        const auto& error = saved.error();
        if (error.unreadable) {
            reportUnparsableFile(*error.unreadable);
            diagnostic("Failed to write config: the file could not be read and was left unchanged (" +
                       error.message + ")");
        } else {
            // Still different from the file: the next change writes again.
            setConfigFileError("Failed to write config: " + error.message);
            diagnostic("Failed to write config: " + error.message);
        }
        return;
    }
    if (writes) {
        ++saveGeneration_;
        notify(Field::saveGeneration);
    }
    AppConfig file = std::move(*saved);
    adoptFile(file, file);
}

void ConfigurationViewModel::reloadDraftFromDisk() {
    auto loaded = configLoader_.loadForEditing();
    if (!loaded) {
        // The draft stays, and nothing is written, until the file parses again.
        reportUnparsableFile(loaded.error());
        return;
    }
    if (lastSaved_ && *loaded == *lastSaved_) {
        // Changes that waited for the file to parse again are written now.
        if (unparsable_ && isDirty()) {
            scheduleSave();
        }
        // A failed write stays reported while its changes are still unsaved.
        if (unparsable_ || !isDirty()) {
            setConfigFileError(std::nullopt);
        }
        return;
    }
    AppConfig draft = rebaseConfig(*loaded, draftBase(), draftConfig_);
    const bool unsaved = draft != *loaded;
    adoptFile(std::move(*loaded), std::move(draft));
    setSelectedAppBundleId(std::nullopt);
    setSelectedSnippetKey(std::nullopt);
    setSelectedSnippetIndex(std::nullopt);
    if (unsaved) {
        scheduleSave();
    }
}

const AppConfig& ConfigurationViewModel::draftBase() const {
    static const AppConfig standIn;
    return lastSaved_ ? *lastSaved_ : standIn;
}

void ConfigurationViewModel::reportUnparsableFile(const ConfigLoadError& error) {
    std::string message = error.description();
    if (isDirty()) {
        message += error.kind == ConfigLoadError::Kind::parse
                       ? ". Your changes wait until the file parses, then they are saved."
                       : ". Your changes wait until the file can be read, then they are saved.";
    }
    setConfigFileError(std::move(message), true);
}

void ConfigurationViewModel::adoptFile(AppConfig file, AppConfig draft) {
    setConfigFileError(std::nullopt);
    if (draft != draftConfig_) {
        setDraftConfig(std::move(draft));
    }
    lastSaved_ = std::move(file);
    if (auto data = encodeDraft(*lastSaved_); data != lastSavedData_) {
        lastSavedData_ = std::move(data);
        notify(Field::lastSavedData);
    }
}

void ConfigurationViewModel::setConfigFileError(std::optional<std::string> message, bool unparsable) {
    unparsable_ = unparsable;
    if (configFileError_ != message) {
        configFileError_ = std::move(message);
        notify(Field::configFileError);
    }
}

} // namespace korvane
