// GUI timers: periodic calls on the user-interface thread for modules that animate or
// poll. Each bundle has one TimerManager running one run-loop timer per distinct
// interval; every client registered for an interval is called on each of its ticks.
// Modules take part by deriving from TimerClient. Registration and ticks happen on the
// user-interface thread (the thread whose run loop was current when a timer started);
// nothing is locked.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/run_loop.h"

// A module that wants ticks.
class TimerClient {
public:
    TimerClient() = default;
    TimerClient(const TimerClient&) = delete;
    TimerClient& operator=(const TimerClient&) = delete;
    // Unregisters from every interval, so a destroyed client is never called.
    virtual ~TimerClient();

    // [ui-thread] Called on each tick; true to keep receiving ticks, false to be
    // unregistered from the interval that ticked.
    virtual bool OnTimer() = 0;

    // [ui-thread] Registers for the manager's default interval / for `ms` milliseconds.
    void StartTimer();
    void StartTimer(int ms);
    // [ui-thread] The default interval for later StartTimer() calls; running timers keep theirs.
    void SetTimerIntervalMs(int ms);
    // [ui-thread] Unregisters from the first interval this client is registered for.
    void StopTimer();
};

namespace se_sdk_timers {

// One run-loop timer and the clients it calls.
class Timer {
public:
    explicit Timer(int intervalMs) : intervalMs(intervalMs) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer() { Stop(); }

    // Restarts the run-loop timer when there are clients: first tick one interval from
    // now, then every interval. Stays stopped when the run loop refuses the timer.
    void Start();
    // Takes the run-loop timer off the run loop and releases it.
    void Stop();
    bool isRunning() const { return handle != nullptr; }
    // Calls every client registered when the tick began, in order, skipping those that
    // were unregistered (or destroyed) meanwhile; a client answering false is removed.
    // The run-loop timer stops when no client is left.
    void OnTimer();

    bool hasClient(const TimerClient* client) const;
    // Appends `client` unless present; true when it was appended.
    bool addClient(TimerClient* client);
    // Removes `client`; true when it was there.
    bool removeClient(const TimerClient* client);
    bool empty() const { return clients.empty(); }
    std::size_t clientCount() const { return clients.size(); }

    CFRunLoopTimerRef handle = nullptr;  // null while stopped
    const std::int32_t intervalMs;

private:
    // A registration: the serial tells a client re-registered (or a new client at the
    // address of a deleted one) from the entry a tick started with.
    struct Entry {
        TimerClient* client;
        std::uint64_t serial;
    };
    std::vector<Entry> clients;      // not owned, in registration order
    std::vector<Entry> tickClients;  // the clients a tick started with (kept for its capacity)
    std::uint64_t nextSerial = 0;
};

}  // namespace se_sdk_timers

// The bundle's timers, one per distinct interval, in creation order.
class TimerManager {
public:
    // [ui-thread] The bundle's manager, created on first use and destroyed when the
    // bundle is unloaded (stopping every timer).
    static TimerManager* Instance();
    // False once the manager has been destroyed (the bundle is being unloaded).
    static bool exists();

    TimerManager(const TimerManager&) = delete;
    TimerManager& operator=(const TimerManager&) = delete;
    ~TimerManager();

    // Registers `client` with the timer of interval `ms`, creating and starting that
    // timer when it is new, starting it when it had no client.
    void RegisterClient(TimerClient* client, int ms);
    // Removes `client` from the first timer holding it; a timer left without clients is
    // stopped and removed.
    void UnRegisterClient(TimerClient* client);
    // Removes `client` from every timer (as UnRegisterClient does for the first).
    void UnRegisterClientEverywhere(TimerClient* client);
    // The default interval, in milliseconds, for TimerClient::StartTimer().
    void SetInterval(int ms) { defaultInterval = ms; }
    int getInterval() const { return defaultInterval; }
    // Runs the tick of the timer whose run-loop handle is `handle`; nothing when no timer
    // of this manager has it (the timer is gone).
    void OnTimer(void* handle);
    // The tick for the timer object `info` with run-loop handle `handle`, both as the run
    // loop passed them; `info` is compared, never followed, until it is known to be ours.
    void OnTimer(CFRunLoopTimerRef handle, void* info);

    const std::vector<std::unique_ptr<se_sdk_timers::Timer>>& timers() const { return timerList; }

private:
    TimerManager() = default;
    void removeIfEmpty(se_sdk_timers::Timer* timer);
    void tick(se_sdk_timers::Timer* timer);

    std::vector<std::unique_ptr<se_sdk_timers::Timer>> timerList;
    std::int32_t defaultInterval = 50;
    se_sdk_timers::Timer* ticking = nullptr;  // the timer whose tick is running
    bool removeTickingAfterTick = false;
};

// [run-loop thread] The run-loop callback of every timer of the bundle (exported).
extern "C" __attribute__((visibility("default"))) void timerCallback(CFRunLoopTimerRef timer, void* info);
