// Both halves of a module at once, as a real host runs them: the DSP half on an audio
// thread, the GUI half on a user-interface thread, messages between them passed through the
// host's mailbox. Either half failing is reported; a half that touches the other's state
// without synchronisation is a data race, which the ThreadSanitizer build of the validator
// reports (the child process ends with ThreadSanitizer's exit status).
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "validate/dsp_stress.h"
#include "validate/gui_stress.h"

namespace mphost::validation {

namespace {

// What one half sent to the other and the other has not taken yet; whether the GUI half is
// up (the audio thread starts once it is, as when a host opens an editor on a running patch);
// the first GUI pin that transmitted from another thread than the user interface's.
struct Mailbox {
    std::mutex lock;
    std::condition_variable changed;
    bool interfaceReady = false;
    bool audioDone = false;  // the GUI half stays open until the audio thread has finished
    std::vector<GuiMessage> toGui;
    std::vector<MessageToDsp> toDsp;
    std::string foreignTransmission;

    void set(bool Mailbox::*flag)
    {
        const std::lock_guard<std::mutex> hold(lock);
        this->*flag = true;
        changed.notify_all();
    }
    void waitFor(bool Mailbox::*flag)
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait_for(hold, std::chrono::seconds(30), [&] { return this->*flag; });
    }
    // Everything waiting in `box` (toGui or toDsp), oldest first.
    template <class Message>
    std::vector<Message> take(std::vector<Message>& box)
    {
        const std::lock_guard<std::mutex> hold(lock);
        return std::exchange(box, {});
    }
    template <class Message>
    void post(std::vector<Message>& box, const std::vector<Message>& sent)
    {
        const std::lock_guard<std::mutex> hold(lock);
        box.insert(box.end(), sent.begin(), sent.end());
    }
};

// The audio thread: blocks of ordinary events, messages from the GUI between blocks.
void audioThread(CheckContext& context, Mailbox& mailbox)
{
    struct DoneOnExit {
        Mailbox& mailbox;
        ~DoneOnExit() { mailbox.set(&Mailbox::audioDone); }
    } done{mailbox};
    mailbox.waitFor(&Mailbox::interfaceReady);
    DspModuleOptions options;
    options.maxBlockSize = 4096;
    DspModule module(context.bundle, context.module, options);
    module.start();
    DspStress stress(module, context);
    for (std::int64_t block = 0; block < context.blocks && !context.failed(); ++block) {
        for (const MessageToDsp& message : mailbox.take(mailbox.toDsp))
            module.sendMessageFromGui(message.id, message.data);
        stress.run(1, false);
        mailbox.post(mailbox.toGui, module.takeMessages());
    }
}

// The user-interface thread: operations in groups of eight, messages from the DSP between.
void interfaceThread(CheckContext& context, Mailbox& mailbox)
{
    struct ReadyOnExit {
        Mailbox& mailbox;
        ~ReadyOnExit() { mailbox.set(&Mailbox::interfaceReady); }
    } ready{mailbox};
    GuiModule module(context.bundle, context.module);
    const std::thread::id interface = std::this_thread::get_id();
    module.onTransmit([&mailbox, interface](const PinTransmission& transmission) {
        if (std::this_thread::get_id() == interface)
            return;
        const std::lock_guard<std::mutex> hold(mailbox.lock);
        if (mailbox.foreignTransmission.empty())
            mailbox.foreignTransmission = transmission.pinName;
    });
    GuiStress stress(module, context);
    if (!stress.setEveryPin(false) || !stress.initialize())
        return;
    mailbox.set(&Mailbox::interfaceReady);
    for (std::int64_t done = 0; done < context.blocks && !context.failed(); done += 8) {
        for (const GuiMessage& message : mailbox.take(mailbox.toGui))
            module.sendMessageFromDsp(message.id, message.data);
        stress.run(8, false);
        mailbox.post(mailbox.toDsp, module.takeMessagesToDsp());
        (void)module.takeTransmissions();
    }
    mailbox.waitFor(&Mailbox::audioDone);
}

// Runs `body` with the check's own report and generator for the thread; exceptions are failures.
template <class Body>
void guarded(CheckContext& context, Body&& body)
{
    try {
        body();
    } catch (const std::exception& error) {
        context.fail(error.what());
    } catch (...) {
        context.fail("an exception of unknown type");
    }
}

}  // namespace

void dspThreads(CheckContext& context)
{
    if (!context.module.gui)
        return;  // one half: nothing runs beside it
    Mailbox mailbox;
    CheckReport guiReport;
    guiReport.name = context.report.name;
    CheckContext gui{context.bundle, context.module, context.options, Random(context.random()), context.blocks,
                     guiReport};
    std::thread interface([&] { guarded(gui, [&] { interfaceThread(gui, mailbox); }); });
    guarded(context, [&] { audioThread(context, mailbox); });
    interface.join();
    if (!mailbox.foreignTransmission.empty())
        context.fail("GUI pin \"" + mailbox.foreignTransmission +
                     "\" transmitted from the audio thread: the DSP half must reach its GUI half only through "
                     "messages (hostSendMessageToGui)");
    for (const std::string& failure : guiReport.failures)
        context.fail("GUI half on its thread: " + failure);
    for (const std::string& note : guiReport.notes)
        context.note(note);
    context.report.blocks += guiReport.blocks;
}

}  // namespace mphost::validation
