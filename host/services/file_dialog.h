// The file dialogs of the GUI host (gmpi_gui::IMpGraphicsHostBase::createFileDialog).
//
// Offline there is no user to click: the user's answers are scripted. Each answer (a path,
// or a cancel) goes to the oldest dialog that has none yet, whether that dialog opened
// before or after the answer was given. A dialog never completes inside ShowAsync: its
// completion callback runs at the next deliver(), which the host calls at each turn of its
// user-interface loop (the engine between blocks, the harness in GuiModule::pump). A
// dialog without an answer stays open, as for a user who has not decided yet.
//
//   FileDialogScript dialogs;
//   dialogs.answer("/samples/kick.wav");   // the user will pick this file
//   ...                                     // a module opens a dialog
//   dialogs.deliver();                      // its OnComplete(MP_OK) runs now
//
// All calls on the user-interface thread.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "mp_drawing_api.h"

namespace mphost {

class FileDialogScript;

// What a module asked of one dialog, kept for tests and diagnostics.
struct FileDialogRecord {
    std::int32_t type = 0;
    std::vector<std::string> extensions;  // as added, without the dot
    std::string initialPath;
    std::optional<std::string> answer;  // the path picked; nullopt: cancelled or not answered
    bool completed = false;
};

// One dialog object handed to a module (deletes itself on its last release).
class HostFileDialog final : public HostOwnedObject<HostFileDialog, gmpi_gui::IMpFileDialog> {
public:
    HostFileDialog(FileDialogScript& script, const void* owner, std::int32_t type);

    std::int32_t AddExtension(const char* extension, const char* description) override;
    std::int32_t SetInitialFullPath(const char* fullPath) override;
    std::int32_t ShowAsync(gmpi::IMpUnknown* callback) override;
    std::int32_t GetSelectedFilename(gmpi::IMpUnknown* returnPath) override;

private:
    friend class FileDialogScript;
    FileDialogScript& script;
    const void* owner;  // the GuiHost that created it
    std::size_t record = 0;
    bool shown = false;
    std::optional<std::string> selected;
    ComPtr<gmpi_gui::IMpCompletionCallback> callback;  // held while the dialog shows
};

class FileDialogScript {
public:
    FileDialogScript() = default;
    FileDialogScript(const FileDialogScript&) = delete;
    FileDialogScript& operator=(const FileDialogScript&) = delete;
    ~FileDialogScript();

    // The user's next answer: a path (UTF-8) to pick, or nullopt to cancel.
    void answer(std::optional<std::string> path);
    // Completes, oldest first, every dialog shown before this call that has an answer:
    // its callback's OnComplete(MP_OK) for a path, OnComplete(MP_FAIL) for a cancel.
    // Dialogs shown by those callbacks wait for the next call. Returns the number completed.
    int deliver();
    // Drops the open dialogs of `owner` (a host going away), releasing their callbacks
    // without calling them, and the answers stay for other dialogs.
    void forget(const void* owner);

    // Dialogs shown and not yet completed, and answers not yet taken.
    std::size_t openDialogs() const { return showing.size(); }
    std::size_t pendingAnswers() const { return answers.size(); }
    // Every dialog created, oldest first.
    const std::vector<FileDialogRecord>& history() const { return records; }

private:
    friend class HostFileDialog;
    std::size_t created(std::int32_t type);
    void shown(HostFileDialog& dialog);

    std::deque<std::optional<std::string>> answers;
    std::deque<ComPtr<HostFileDialog>> showing;  // oldest first
    std::vector<FileDialogRecord> records;
};

}  // namespace mphost
