#include "services/file_dialog.h"

#include <algorithm>
#include <utility>

namespace mphost {

HostFileDialog::HostFileDialog(FileDialogScript& script, const void* owner, std::int32_t type)
    : script(script), owner(owner), record(script.created(type))
{
}

std::int32_t HostFileDialog::AddExtension(const char* extension, const char* /*description*/)
{
    if (!extension || !*extension || shown)
        return gmpi::MP_FAIL;
    script.records[record].extensions.emplace_back(extension);
    return gmpi::MP_OK;
}

std::int32_t HostFileDialog::SetInitialFullPath(const char* fullPath)
{
    if (shown)
        return gmpi::MP_FAIL;
    script.records[record].initialPath = fullPath ? fullPath : "";
    return gmpi::MP_OK;
}

std::int32_t HostFileDialog::ShowAsync(gmpi::IMpUnknown* callbackObject)
{
    if (shown || !callbackObject)
        return gmpi::MP_FAIL;
    ComPtr<gmpi_gui::IMpCompletionCallback> found;
    if (callbackObject->queryInterface(gmpi_gui::SE_IID_COMPLETION_CALLBACK, found.receive()) != gmpi::MP_OK ||
        !found)
        return gmpi::MP_FAIL;
    callback = std::move(found);
    shown = true;
    script.shown(*this);
    return gmpi::MP_OK;
}

std::int32_t HostFileDialog::GetSelectedFilename(gmpi::IMpUnknown* returnPath)
{
    if (!selected || !returnPath)
        return gmpi::MP_FAIL;
    ComPtr<gmpi::IString> text;
    if (returnPath->queryInterface(gmpi::MP_IID_RETURNSTRING, text.receive()) != gmpi::MP_OK || !text)
        return gmpi::MP_FAIL;
    text->setData(selected->data(), static_cast<std::int32_t>(selected->size()));
    return gmpi::MP_OK;
}

FileDialogScript::~FileDialogScript()
{
    // Callbacks are released here at the latest, without being called.
    showing.clear();
}

std::size_t FileDialogScript::created(std::int32_t type)
{
    records.push_back({type, {}, {}, std::nullopt, false});
    return records.size() - 1;
}

void FileDialogScript::shown(HostFileDialog& dialog)
{
    dialog.addRef();
    showing.push_back(ComPtr<HostFileDialog>::adopt(&dialog));
}

void FileDialogScript::answer(std::optional<std::string> path)
{
    answers.push_back(std::move(path));
}

int FileDialogScript::deliver()
{
    // Only the dialogs already showing: a callback that opens another dialog leaves it
    // for the next turn.
    std::size_t due = std::min(showing.size(), answers.size());
    int completed = 0;
    while (due-- > 0 && !showing.empty() && !answers.empty()) {
        ComPtr<HostFileDialog> dialog = std::move(showing.front());
        showing.pop_front();
        std::optional<std::string> picked = std::move(answers.front());
        answers.pop_front();

        FileDialogRecord& record = records[dialog->record];
        record.answer = picked;
        record.completed = true;
        dialog->selected = std::move(picked);
        const std::int32_t result = dialog->selected ? gmpi::MP_OK : gmpi::MP_FAIL;
        // The callback may release the dialog and open others: both stay valid here.
        const ComPtr<gmpi_gui::IMpCompletionCallback> callback = std::exchange(dialog->callback, nullptr);
        callback->OnComplete(result);
        ++completed;
    }
    return completed;
}

void FileDialogScript::forget(const void* owner)
{
    std::erase_if(showing, [owner](ComPtr<HostFileDialog>& dialog) {
        if (dialog->owner != owner)
            return false;
        dialog->callback.reset();  // the callback's code may go with its bundle
        return true;
    });
}

}  // namespace mphost
