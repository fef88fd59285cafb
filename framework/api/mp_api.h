// The binary contract between a host and a module bundle: interface identifiers,
// result codes, the event record and the plug-in, factory and DSP host interfaces.
//
// Everything here crosses a shared-library boundary. Interfaces are abstract classes
// whose virtual functions are declared in slot order (Itanium C++ ABI, x86-64); a
// virtual destructor occupies two slots. Records are plain and their layout is
// asserted. Nothing in this header has an implementation.
//
// Threads: [audio-thread] operations are called on the host's audio thread, never
// concurrently for one module; [ui-thread] on the host's user-interface thread;
// [main-thread] before processing starts or after it stops; [any] from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gmpi {

// Result codes of every interface operation.
enum MpResult : std::int32_t {
    MP_OK = 0,             // success
    MP_FAIL = -1,          // failure (for example an exception inside module creation)
    MP_NOSUPPORT = -2,     // unknown interface identifier or module identifier
};

// Interface identifier: a 32-bit word, two 16-bit words and eight bytes, each word
// little-endian in memory (the usual GUID layout). Equal when all 16 bytes are equal.
struct MpGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    bool operator==(const MpGuid& other) const { return std::memcmp(this, &other, sizeof(MpGuid)) == 0; }
    bool operator!=(const MpGuid& other) const { return !(*this == other); }
};
static_assert(sizeof(MpGuid) == 16);

// clang-format off
inline constexpr MpGuid MP_IID_UNKNOWN =               {0x00000000, 0x0000, 0xC000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr MpGuid MP_IID_FACTORY =               {0x9A7904B7, 0x7F7F, 0x4D61, {0xB5, 0x58, 0xC1, 0xA6, 0x69, 0x5B, 0xB6, 0x38}};
inline constexpr MpGuid MP_IID_FACTORY2 =              {0x91C3D2EE, 0xC701, 0x4F35, {0x91, 0xA6, 0x09, 0x4D, 0xC7, 0xE0, 0x59, 0x76}};
inline constexpr MpGuid MP_IID_PLUGIN =                {0x2B0DFC7E, 0xA539, 0x49CD, {0xB7, 0x2D, 0x32, 0xFF, 0x9D, 0xF0, 0xD9, 0xE4}};
inline constexpr MpGuid MP_IID_PLUGIN2 =               {0x1E07E3E8, 0x8118, 0x457F, {0xA6, 0x3C, 0xD4, 0xF2, 0x82, 0xA0, 0xF5, 0x19}};
inline constexpr MpGuid MP_IID_LEGACY_INITIALIZATION = {0x0B471002, 0x5627, 0x4D46, {0x98, 0x4E, 0xC0, 0xDC, 0x79, 0xD0, 0xAD, 0x35}};
inline constexpr MpGuid MP_IID_HOST =                  {0x4F1B532F, 0x3C46, 0x4927, {0xA4, 0x98, 0x61, 0x48, 0x67, 0x42, 0x5B, 0xE7}};
inline constexpr MpGuid MP_IID_PROCESSOR_HOST =        {0x87CCD426, 0x71D7, 0x414E, {0xA9, 0xA6, 0x5A, 0xDC, 0xA8, 0x1C, 0x74, 0x20}};
inline constexpr MpGuid MP_IID_GUI_PLUGIN =            {0xCACB3203, 0x4A57, 0x4209, {0x9E, 0x00, 0x0C, 0x4B, 0x95, 0x04, 0x57, 0xF6}};
inline constexpr MpGuid MP_IID_GUI_PLUGIN2 =           {0x9CD06775, 0xF5C2, 0x4321, {0x81, 0x2D, 0x09, 0x58, 0x15, 0x32, 0x94, 0xB8}};
inline constexpr MpGuid MP_IID_GUI_PLUGIN2B =          {0x21B0EC11, 0x6B66, 0x4B72, {0x92, 0x8E, 0x77, 0xE9, 0x3A, 0x31, 0xA6, 0x28}};
inline constexpr MpGuid MP_IID_UI_HOST =               {0x174F9DDC, 0x1850, 0x40DB, {0xBA, 0xF0, 0xE0, 0xB4, 0x1D, 0x07, 0x96, 0x45}};
inline constexpr MpGuid MP_IID_UI_HOST2 =              {0xDE009D92, 0xE281, 0x4F92, {0x99, 0x96, 0x20, 0x0F, 0x49, 0x69, 0x00, 0x28}};
inline constexpr MpGuid MP_IID_RETURNSTRING =          {0xAB8FFB21, 0x44FF, 0x42B7, {0x88, 0x85, 0x29, 0x43, 0x13, 0x99, 0xE7, 0xE4}};
inline constexpr MpGuid MP_IID_CONTEXT_ITEMS_SINK =    {0xBC152E7E, 0x7FB8, 0x4921, {0x84, 0xEE, 0xBE, 0xD7, 0xCF, 0xD9, 0xA8, 0x97}};
// clang-format on

// Module sub-types: the second half of a factory key.
enum MpSubType : std::int32_t {
    MP_SUB_TYPE_AUDIO = 0,  // DSP module (IMpPlugin2)
    MP_SUB_TYPE_GUI = 1,    // first-generation GUI module
    MP_SUB_TYPE_GUI2 = 2,   // second-generation GUI module
};

// Pin datatype codes (the value of a pin's getDatatype()).
enum MpPinDatatype : std::int32_t {
    MP_ENUM = 0,      // enumeration, carried as int32
    MP_STRING = 1,    // text: wide string of 32-bit characters, no terminator
    MP_MIDI = 2,      // MIDI bytes
    MP_BOOL = 4,      // bool (1 byte, or a 4-byte int32 where non-zero is true)
    MP_AUDIO = 5,     // audio buffer of float32 samples
    MP_FLOAT32 = 6,   // float32
    MP_INT32 = 8,     // int32
    MP_BLOB = 10,     // opaque bytes
};

// Pin direction codes (the value of a pin's getDirection()).
enum MpPinDirection : std::int32_t {
    MP_IN = 0,
    MP_OUT = 1,
};

// Event codes (MpEvent::type).
enum MpEventType : std::int32_t {
    EVENT_PIN_SET = 100,              // a control input takes the payload as its new value
    EVENT_PIN_STREAMING_START = 101,  // an audio input starts varying
    EVENT_PIN_STREAMING_STOP = 102,   // an audio input becomes constant
    EVENT_MIDI = 103,                 // MIDI bytes for a MIDI input
    EVENT_GRAPH_START = 104,          // processing starts: outputs announce their first values
};

// The host's timestamped event record. A block's events form a singly linked list in
// ascending timestamp order; the host owns the records and their payloads for the
// duration of the process() call that delivers them.
struct MpEvent {
    std::int32_t timestamp;      // sample offset within the block, 0 <= timestamp < block size
    std::int32_t type;           // MpEventType
    std::int32_t pinIndex;       // index of the addressed pin
    std::int32_t size;           // payload size in bytes (pin values, MIDI)
    char inlineData[8];          // the payload itself when data is null (size <= 8)
    const void* data;            // external payload, or null
    const MpEvent* next;         // next event of the block, or null

    const void* payload() const { return data ? data : static_cast<const void*>(inlineData); }
};
static_assert(sizeof(MpEvent) == 40);
static_assert(offsetof(MpEvent, timestamp) == 0);
static_assert(offsetof(MpEvent, type) == 4);
static_assert(offsetof(MpEvent, pinIndex) == 8);
static_assert(offsetof(MpEvent, size) == 12);
static_assert(offsetof(MpEvent, inlineData) == 16);
static_assert(offsetof(MpEvent, data) == 24);
static_assert(offsetof(MpEvent, next) == 32);

// ---------------------------------------------------------------------------------
// Reference counting and interface discovery. Every interface begins with these.
class IMpUnknown {
public:
    // [any] Writes null to *returnInterface first. On success stores the interface,
    // adds a reference to it (the caller owns that reference) and returns MP_OK;
    // MP_NOSUPPORT when the object does not implement `iid`.
    virtual std::int32_t queryInterface(const MpGuid& iid, void** returnInterface) = 0;
    // [any] Adds a reference; returns the new count (informational only).
    virtual std::int32_t addRef() = 0;
    // [any] Drops a reference; the object may be destroyed when it reaches 0.
    virtual std::int32_t release() = 0;
};

// ---------------------------------------------------------------------------------
// Factory: the object behind MP_GetFactory. It lives as long as the bundle is loaded.
class IMpFactory : public IMpUnknown {
public:
    // [main-thread] Creates a module by (subType, uniqueId) and, when it offers
    // IMpLegacyInitialization, connects it to `host`. *returnInterface receives the
    // owning pointer (IMpPlugin2* for sub-type 0, the primary GUI interface otherwise),
    // or null. Returns MP_OK (also when the creator returned null), MP_NOSUPPORT for an
    // unknown key, MP_FAIL when creation or initialisation threw.
    virtual std::int32_t createInstance(const wchar_t* uniqueId, std::int32_t subType, IMpUnknown* host,
                                        void** returnInterface) = 0;
    // [any] Writes the SDK version and a zero-terminated compiler description of at
    // most `maxChars` characters including the terminator.
    virtual std::int32_t getSdkInformation(std::int32_t& returnSdkVersion, std::int32_t maxChars,
                                           wchar_t* returnCompilerInformation) = 0;
};

class IMpFactory2 : public IMpFactory {
public:
    // [main-thread] As createInstance without a host: the host connects itself later
    // through the object's own setHost.
    virtual std::int32_t createInstance2(const wchar_t* uniqueId, std::int32_t subType, void** returnInterface) = 0;
};

// ---------------------------------------------------------------------------------
// DSP module interfaces.

// First-generation DSP interface; the primary interface of every DSP module object.
class IMpPlugin : public IMpUnknown {
public:
    // [main-thread] Called once after setHost and before setBuffer/process. MP_OK.
    virtual std::int32_t open() = 0;
    // [audio-thread] Hands the audio buffer of pin `pinIndex` to the module. The buffer
    // holds at least one block of float32 samples and stays valid until the next call
    // for that pin. MP_FAIL for an index the module has not bound.
    virtual std::int32_t setBuffer(std::int32_t pinIndex, float* buffer) = 0;
    // [audio-thread] First-generation process; same meaning as IMpPlugin2::process.
    virtual void process(std::int32_t count, MpEvent* events) = 0;
    // [audio-thread] First-generation message from the GUI half.
    virtual std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, void* messageData) = 0;
};

// The interface a host receives from the factory for a DSP module.
class IMpPlugin2 : public IMpUnknown {
public:
    // [main-thread] Connects the module to its host (queried for MP_IID_HOST and
    // MP_IID_PROCESSOR_HOST). MP_NOSUPPORT when the host lacks MP_IID_HOST; the module
    // must then not be processed.
    virtual std::int32_t setHost(IMpUnknown* host) = 0;
    virtual std::int32_t open() = 0;
    virtual std::int32_t setBuffer(std::int32_t pinIndex, float* buffer) = 0;
    // [audio-thread] Processes `count` samples (1 or more). `events` is the block's
    // event list in ascending timestamp order, or null.
    virtual void process(std::int32_t count, const MpEvent* events) = 0;
    // [audio-thread] A message sent by the module's GUI half; `messageData` is valid for
    // the duration of the call only.
    virtual std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, const void* messageData) = 0;
};

// Connection path used by IMpFactory::createInstance.
class IMpLegacyInitialization : public IMpUnknown {
public:
    // [main-thread] Same as IMpPlugin2::setHost.
    virtual std::int32_t setHost(IMpUnknown* host) = 0;
};

// ---------------------------------------------------------------------------------
// Host side of a DSP module (MP_IID_HOST). One host object serves one module instance.
// Slots not used by any module are kept as placeholders so later slots keep their index.
class IMpHost : public IMpUnknown {
public:
    // [audio-thread] Publishes an output pin's value at `timestamp` (sample offset in the
    // current block). `data` holds `size` bytes and is copied before the call returns.
    virtual std::int32_t hostSetPin(std::int32_t timestamp, std::int32_t pinIndex, std::int32_t size,
                                    const void* data) = 0;  // slot 3
    // [audio-thread] Publishes an audio output's streaming state (0 constant, 1 varying).
    virtual std::int32_t hostSetPinStreaming(std::int32_t timestamp, std::int32_t pinIndex,
                                             std::int32_t isStreaming) = 0;  // slot 4
    // [audio-thread] The module is idle; the host may stop calling process until events arrive.
    virtual std::int32_t hostSleep() = 0;  // slot 5
    // [audio-thread] A message to the module's GUI half. `data` is copied by the host.
    virtual std::int32_t hostSendMessageToGui(std::int32_t id, std::int32_t size, const void* data) = 0;  // slot 6
    // [any] Length, in samples, of the countdown before a module with static outputs sleeps.
    virtual std::int32_t hostGetSleepDelay(std::int32_t& returnValue) = 0;  // slot 7
    // [any] Sample rate in Hz.
    virtual std::int32_t hostGetSampleRate(float& returnValue) = 0;  // slot 8
    virtual std::int32_t hostReserved9() = 0;   // slot 9, not used by modules
    virtual std::int32_t hostReserved10() = 0;  // slot 10, not used by modules
    virtual std::int32_t hostReserved11() = 0;  // slot 11, not used by modules
    virtual std::int32_t hostReserved12() = 0;  // slot 12, not used by modules
    // [main-thread] A new IMpPinIterator over the pins the host instantiated for this
    // module; the caller owns the reference.
    virtual std::int32_t hostCreatePinIterator(void** returnInterface) = 0;  // slot 13
    virtual std::int32_t hostReserved14() = 0;  // slot 14, not used by modules
    virtual std::int32_t hostReserved15() = 0;  // slot 15, not used by modules
    // [main-thread] The shared table named `tableName` for `sampleRate` (-1 when the
    // contents do not depend on the rate), at least `size` bytes, zero-filled when new.
    // Every caller of one (name, rate) receives the same block; exactly the first is told
    // to fill it (returnNeedInitialise = 1). The host owns the block for its lifetime.
    virtual std::int32_t hostAllocateSharedMemory(const wchar_t* tableName, void** returnPointer, float sampleRate,
                                                  std::int32_t size, std::int32_t& returnNeedInitialise) = 0;  // 16
    // [any] Expands `fileName` to a full path, written zero-terminated into `returnFullFilename`
    // (at most `maxChars` characters including the terminator).
    virtual std::int32_t hostResolveFilename(const wchar_t* fileName, std::int32_t maxChars,
                                             wchar_t* returnFullFilename) = 0;  // slot 17
};

// Processor host (MP_IID_PROCESSOR_HOST): optional services of the host.
class IMpProcessorHost : public IMpUnknown {
public:
    virtual std::int32_t hostReserved3() = 0;  // slot 3, not used by modules
    virtual std::int32_t hostReserved4() = 0;  // slot 4, not used by modules
    // [main-thread or audio-thread] Reports the module's processing latency in samples (>= 0).
    virtual std::int32_t hostSetLatency(std::int32_t latencySamples) = 0;  // slot 5
};

// The host's iterator over a module's instantiated pins (from hostCreatePinIterator).
class IMpPinIterator : public IMpUnknown {
public:
    // [main-thread] Number of pins the iterator walks.
    virtual std::int32_t getCount(std::int32_t& returnCount) = 0;  // slot 3
    // Positions on the first pin. 0 while positioned on a pin, non-zero at the end.
    virtual std::int32_t first() = 0;  // slot 4
    // Moves to the next pin. 0 while positioned on a pin, non-zero at the end.
    virtual std::int32_t next() = 0;  // slot 5
    // The current pin's index (the index events and setBuffer use).
    virtual std::int32_t getPinId(std::int32_t& returnValue) = 0;  // slot 6
    // The current pin's MpPinDirection.
    virtual std::int32_t getPinDirection(std::int32_t& returnValue) = 0;  // slot 7
    // The current pin's MpPinDatatype.
    virtual std::int32_t getPinDatatype(std::int32_t& returnValue) = 0;  // slot 8
};

// Signature of the bundle entry point. [main-thread] Stores the bundle's factory
// (with a reference) in *returnInterface and returns MP_OK.
using MpGetFactoryFunction = std::int32_t (*)(void** returnInterface);
inline constexpr const char* MP_GET_FACTORY_SYMBOL = "MP_GetFactory";

}  // namespace gmpi

