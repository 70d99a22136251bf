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
    if (saveTask_ || (lastSaved_ && isDirty())) {
        performSave();
    }
}

void ConfigurationViewModel::performSave() {
    cancelPendingSave();
    if (!isDirty()) {
        return;
    }
    // The file is read again right before writing: an editor, or a snippet saved from the popup,
    // may have changed it since it was last loaded, and that change must stay.
    auto onDisk = configLoader_.loadForEditing();
    if (!onDisk) {
        setConfigFileError(onDisk.error().description(), true);
        diagnostic("Failed to write config: the file could not be read and was left unchanged (" +
                   onDisk.error().message + ")");
        return;
    }
    if (!lastSaved_) {
        // The draft was edited over defaults that stood in for a file that did not parse; the file
        // that parses now is the user's and is taken as it is.
        AppConfig file = std::move(*onDisk);
        adoptFile(file, file);
        return;
    }
    AppConfig toWrite =
        *onDisk == *lastSaved_ ? draftConfig_ : rebaseConfig(*onDisk, *lastSaved_, draftConfig_);
    if (toWrite == *onDisk) {
        adoptFile(std::move(*onDisk), std::move(toWrite));
        return;
    }
    if (auto written = configLoader_.saveConfig(toWrite); !written) {
        // Still different from the file: the next change writes again.
        setConfigFileError("Failed to write config: " + written.error());
        diagnostic("Failed to write config: " + written.error());
        return;
    }
    ++saveGeneration_;
    notify(Field::saveGeneration);
    adoptFile(toWrite, toWrite);
}

void ConfigurationViewModel::reloadDraftFromDisk() {
    auto loaded = configLoader_.loadForEditing();
    if (!loaded) {
        // The draft stays, and nothing is written, until the file parses again.
        setConfigFileError(loaded.error().description(), true);
        return;
    }
    if (lastSaved_ && *loaded == *lastSaved_) {
        // A failed write stays reported while its changes are still unsaved.
        if (unparsable_ || !isDirty()) {
            setConfigFileError(std::nullopt);
        }
        return;
    }
    AppConfig draft = lastSaved_ ? rebaseConfig(*loaded, *lastSaved_, draftConfig_) : *loaded;
    const bool unsaved = draft != *loaded;
    adoptFile(std::move(*loaded), std::move(draft));
    setSelectedAppBundleId(std::nullopt);
    setSelectedSnippetKey(std::nullopt);
    setSelectedSnippetIndex(std::nullopt);
    if (unsaved) {
        scheduleSave();
    }
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
