// The binary contract of the interface side: GUI module interfaces of both generations,
// the GUI host interfaces of both generations and the small objects they exchange
// (returned text, skin files).
//
// Same rules as mp_api.h: abstract classes in slot order (Itanium C++ ABI, x86-64), no
// implementation. Every operation here is [ui-thread] unless noted: the host calls GUI
// modules, and GUI modules call their host, on its user-interface thread only.
//
// Pin values travel as raw bytes in the wire form of mp_api.h's datatypes: int32 and
// float32 4 bytes, bool 1 byte (a 4-byte int32 is accepted too, non-zero is true), text
// 4 bytes per wide character without terminator, blobs their bytes.
#pragma once

#include <cstdint>

#include "mp_api.h"

namespace gmpi {

// ---------------------------------------------------------------------------------
// Objects exchanged with the GUI host

// Text returned by the host (MP_IID_RETURNSTRING). The caller owns the object and passes
// it in; the host fills it during the call and keeps no reference afterwards.
class IString : public IMpUnknown {
public:
    // Stores `size` bytes from `data` (UTF-8 unless the operation says otherwise, no
    // terminator needed); a size below 1 empties the text. MP_OK.
    virtual std::int32_t setData(const char* data, std::int32_t size) = 0;  // slot 3
    // Number of bytes stored (>= 0).
    virtual std::int32_t getSize() = 0;  // slot 4
    // The stored bytes, followed by a terminating zero; valid until the next setData or
    // until the object goes.
    virtual const char* getData() = 0;  // slot 5
};

// A read-only skin file opened by the host (openSkinResource): the host file object.
// Reference counted: the caller owns the reference it receives; the file is closed when
// the last one goes. [ui-thread]
class IProtectedFile2 : public IMpUnknown {
public:
    // Copies the next `bytes` bytes into `buffer` (room for `bytes` bytes) and advances.
    // MP_OK when all `bytes` were read. A short read is a failure: MP_FAIL when fewer
    // remained (nothing is copied and the position stays), `bytes` is negative or
    // `buffer` is null with `bytes` above 0. Reading 0 bytes succeeds.
    virtual std::int32_t read(void* buffer, std::int64_t bytes) = 0;  // slot 3
    // Reserved: answers MP_NOSUPPORT.
    virtual std::int32_t reserved4() = 0;  // slot 4
    // Writes the file's size in bytes (>= 0) to `*bytes`. MP_OK, MP_FAIL for null.
    virtual std::int32_t getSize(std::int64_t* bytes) = 0;  // slot 5
};

// The host's context menu while a module fills it (MP_IID_CONTEXT_ITEMS_SINK, queried on
// the object passed to populateContextMenu). A host may offer none.
class IMpContextItemSink : public IMpUnknown {
public:
    // Appends an item: `text` UTF-8 (zero-terminated), `id` handed back to onContextMenu
    // when the user chooses it, `flags` 0 (other bits are the host's). MP_OK.
    virtual std::int32_t AddItem(const char* text, std::int32_t id, std::int32_t flags) = 0;  // slot 3
};

// ---------------------------------------------------------------------------------
// GUI module interfaces

// First-generation GUI module (sub-type 1, MP_IID_GUI_PLUGIN). The host connects itself
// through IMpLegacyInitialization::setHost, normally from IMpFactory::createInstance,
// which catches a module's refusal (the module throws when the host offers no
// MP_IID_UI_HOST). Pin operations have the meaning of IMpUserInterface2B's.
class IMpUserInterface : public IMpUnknown {
public:
    // Called once after the host has delivered every pin value. MP_OK.
    virtual std::int32_t initialize() = 0;  // slot 3
    // Stores a pin value without notifying the module. MP_FAIL for an unbound pin.
    virtual std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) = 0;
    // A message from the module's DSP half; `data` is valid for the call only.
    virtual std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) = 0;  // 5
    // Context menu at (x, y) in module pixels: the module adds its items to the sink
    // (MP_IID_CONTEXT_ITEMS_SINK). MP_FAIL when it has none.
    virtual std::int32_t populateContextMenu(float x, float y, IMpUnknown* contextMenuItemsSink) = 0;  // slot 6
    // The user chose the context-menu item with id `selection`.
    virtual std::int32_t onContextMenu(std::int32_t selection) = 0;  // slot 7
    // Tooltip text at (x, y) into `returnString` (an IString). MP_FAIL when there is none.
    virtual std::int32_t getToolTip(float x, float y, IMpUnknown* returnString) = 0;  // slot 8
    // Runs the handler of the pin after setPin. MP_FAIL for an unbound pin.
    virtual std::int32_t notifyPin(std::int32_t pinId, std::int32_t voice) = 0;  // slot 9
};

// Second-generation GUI module (sub-type 2, MP_IID_GUI_PLUGIN2).
// Host call order: setHost; for every pin setPin then notifyPin; initialize; from then
// on setPin + notifyPin whenever a value changes elsewhere, and the other operations.
class IMpUserInterface2 : public IMpUnknown {
public:
    // Connects the module to its host (queried for MP_IID_UI_HOST2). MP_NOSUPPORT when
    // the host does not offer it.
    virtual std::int32_t setHost(IMpUnknown* host) = 0;  // slot 3
    // Called once after the first pin values. Modules do work needing the host here. MP_OK.
    virtual std::int32_t initialize() = 0;  // slot 4
    // Stores `size` bytes (wire form of the pin's datatype) as the value of pin `pinId`
    // for `voice` (0 for non-polyphonic pins). Does not run the pin's handler. MP_OK, or
    // MP_FAIL for a pin the module has not bound.
    virtual std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size,
                                const void* data) = 0;  // slot 5
    // A message sent by the DSP half (IMpHost::hostSendMessageToGui); `data` holds `size`
    // bytes, valid for the duration of the call only. MP_FAIL when the module takes none.
    virtual std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) = 0;  // 6
    // As IMpUserInterface.
    virtual std::int32_t populateContextMenu(float x, float y, IMpUnknown* contextMenuItemsSink) = 0;  // slot 7
    virtual std::int32_t onContextMenu(std::int32_t selection) = 0;                                   // slot 8
    virtual std::int32_t getToolTip(float x, float y, IMpUnknown* returnString) = 0;                 // slot 9
};

// Second-generation GUI module with pin notification (MP_IID_GUI_PLUGIN2B): the primary
// interface of every sub-type-2 module of this system.
class IMpUserInterface2B : public IMpUserInterface2 {
public:
    // Runs pin `pinId`'s handler, if it has one, after the host's setPin for it: the
    // handler therefore runs on every host update, changed or not. MP_OK when the pin
    // is bound (with or without handler), MP_FAIL otherwise.
    virtual std::int32_t notifyPin(std::int32_t pinId, std::int32_t voice) = 0;  // slot 10
};

// ---------------------------------------------------------------------------------
// GUI host interfaces. One host object serves one module instance. Slots no module
// calls are kept as placeholders so that later slots keep their index.

// Second-generation GUI host (MP_IID_UI_HOST2), queried by IMpUserInterface2::setHost.
// It also answers MP_IID_UI_HOST with its first-generation interface.
class IMpUserInterfaceHost2 : public IMpUnknown {
public:
    // Sends a pin value the module changed itself: `size` bytes (wire form) for pin
    // `pinId`, `voice` 0 for non-polyphonic pins. The host copies the bytes before it
    // returns and does not call the module's setPin/notifyPin for the pin in return
    // (it may deliver the value to other pins of the same module). MP_OK, MP_FAIL for a
    // pin index the host does not know or a negative size.
    virtual std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data,
                                     std::int32_t voice) = 0;  // slot 3
    virtual std::int32_t reserved4() = 0;  // slot 4, not used by modules
    virtual std::int32_t reserved5() = 0;  // slot 5, not used by modules
    // A message to the module's DSP half, delivered to its receiveMessageFromGui later on
    // the audio thread. The host copies the `size` bytes before it returns. MP_OK, MP_FAIL
    // for a negative size or null data with a positive size.
    virtual std::int32_t sendMessageToAudio(std::int32_t id, std::int32_t size, const void* data) = 0;  // slot 6
    virtual std::int32_t reserved7() = 0;  // slot 7, not used by modules
    // Finds the skin resource `name` (UTF-8; a file name, with or without extension, or
    // a full name returned earlier) of `kind` ("Image", "ImageMeta", ...) and writes its
    // full name (UTF-8) into `fullName` (an IString). MP_OK when found, MP_FAIL otherwise.
    virtual std::int32_t resolveSkinResource(const char* name, const char* kind, IString* fullName) = 0;  // slot 8
    // Opens the skin resource `fullName` (as resolveSkinResource returned it) for
    // reading; `*file` receives an owned reference, or null. MP_OK or MP_FAIL.
    virtual std::int32_t openSkinResource(const char* fullName, IProtectedFile2** file) = 0;  // slot 9
    // Finds `fileName` (UTF-8, a bare file name) among the host's resources of `type`
    // ("Audio", "Image", "Instrument", "MIDI", ...) and writes its full path (UTF-8) into
    // `fullPath`. MP_OK when found, MP_FAIL otherwise (fullPath unchanged).
    virtual std::int32_t findHostResource(const char* fileName, const char* type, IString* fullPath) = 0;  // 10
};

// First-generation GUI host (MP_IID_UI_HOST): the host of sub-type-1 modules, and the
// file-name resolution that second-generation modules reach by queryInterface on their
// IMpUserInterfaceHost2.
class IMpUserInterfaceHost : public IMpUnknown {
public:
    // As IMpUserInterfaceHost2::pinTransmit.
    virtual std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data,
                                     std::int32_t voice) = 0;  // slot 3
    virtual std::int32_t reserved4() = 0;  // slot 4, not used by modules
    virtual std::int32_t reserved5() = 0;  // slot 5, not used by modules
    // As IMpUserInterfaceHost2::sendMessageToAudio.
    virtual std::int32_t sendMessageToAudio(std::int32_t id, std::int32_t size, const void* data) = 0;  // slot 6
    virtual std::int32_t reserved7() = 0;  // slot 7, not used by modules
    virtual std::int32_t reserved8() = 0;  // slot 8, not used by modules
    virtual std::int32_t reserved9() = 0;  // slot 9, not used by modules
    // Expands `fileName` to a full path in the host's resource folders (the empty name
    // gives the resource folder itself), written zero-terminated into
    // `returnFullFilename`, at most `maxChars` characters including the terminator.
    // MP_FAIL, with an empty result, when the full path does not fit.
    virtual std::int32_t resolveFilename(const wchar_t* fileName, std::int32_t maxChars,
                                         wchar_t* returnFullFilename) = 0;  // slot 10
    // A new IMpPinIterator over the pins the host instantiated for this module; the
    // caller owns the reference.
    virtual std::int32_t createPinIterator(void** returnInterface) = 0;  // slot 11
};

}  // namespace gmpi
