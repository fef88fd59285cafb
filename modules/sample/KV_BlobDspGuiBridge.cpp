// KV_BlobDspGuiBridge: carries a blob from the audio side to the interface side and back.
// The DSP half forwards every new In blob to its Out pin and to the GUI half; the GUI half
// shows it on its Out pin. A blob the host sets on the GUI half's Out pin travels to the
// DSP half's Out pin. The halves share no memory: each message carries the blob's bytes
// themselves (message id 0, size = the blob's byte count), copied by the host when sent,
// so the receiver never reads memory the sender may have changed or released.
#include <cstdint>

#include "mp_sdk_audio.h"
#include "mp_sdk_gui.h"

namespace {

constexpr std::int32_t blobMessageId = 0;

// A message is well formed when it has the bridge's id and its size describes readable bytes.
bool isBlobMessage(std::int32_t id, std::int32_t size, const void* data)
{
    return id == blobMessageId && size >= 0 && (size == 0 || data);
}

// DSP half: 0 In, 1 Out.
class KV_BlobDspGuiBridge : public MpBase2 {
    BlobInPin pinIn;
    BlobOutPin pinOut;

public:
    KV_BlobDspGuiBridge()
    {
        initializePin(pinIn);
        initializePin(pinOut);
    }

    void onSetPins() override
    {
        const MpBlob& blob = pinIn;
        getHost()->hostSendMessageToGui(blobMessageId, blob.getSize(), blob.getData());
        // Out follows every update of In, also when the bytes are the same.
        pinOut.setValueRaw(blob.getSize(), blob.getData());
        pinOut.sendPinUpdate(blob.getSize(), blob.getData());
    }

    using MpBase2::receiveMessageFromGui;
    // A blob from the GUI half becomes Out, published at the start of the next block.
    std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, const void* data) override
    {
        if (!isBlobMessage(id, size, data))
            return gmpi::MP_FAIL;
        pinOut.setValueRaw(size, data);
        pinOut.sendPinUpdate(size, data, 0);
        return gmpi::MP_OK;
    }
};

// GUI half: 0 Out, set by the host (sent to the DSP half) and by the module (from the DSP half).
class KV_BlobDspGuiBridgeGUI : public SeGuiInvisibleBase {
    MpGuiPin<MpBlob> pinOut;

public:
    KV_BlobDspGuiBridgeGUI() { initializePin(pinOut, &KV_BlobDspGuiBridgeGUI::onSetOut); }

    void onSetOut()
    {
        if (getHost()) {
            const MpBlob& blob = pinOut;
            getHost()->sendMessageToAudio(blobMessageId, blob.getSize(), blob.getData());
        }
    }

    // A blob from the DSP half becomes Out (transmitted when it differs from the current one).
    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override
    {
        if (!isBlobMessage(id, size, data))
            return gmpi::MP_FAIL;
        pinOut = MpBlob(static_cast<std::size_t>(size), data);
        return gmpi::MP_OK;
    }
};

const bool registeredDsp = gmpi::Register<KV_BlobDspGuiBridge>::withId(L"KV_BlobDspGuiBridge");
const bool registeredGui = gmpi::Register<KV_BlobDspGuiBridgeGUI>::withId(L"KV_BlobDspGuiBridge");

}  // namespace
