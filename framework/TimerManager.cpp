#include "TimerManager.h"

#include <algorithm>

namespace {

bool managerDestroyed = false;

}  // namespace

// The address handed to the run loop is this bundle's own callback: bundles all export
// timerCallback, and a reference through the exported name could bind to another
// bundle's copy, whose manager knows none of our timers.
static void localTimerCallback(CFRunLoopTimerRef timer, void* info) __attribute__((alias("timerCallback")));

// ---------------------------------------------------------------------------------
// TimerClient

TimerClient::~TimerClient()
{
    if (TimerManager::exists())
        TimerManager::Instance()->UnRegisterClientEverywhere(this);
}

void TimerClient::StartTimer()
{
    TimerManager* manager = TimerManager::Instance();
    manager->RegisterClient(this, manager->getInterval());
}

void TimerClient::StartTimer(int ms) { TimerManager::Instance()->RegisterClient(this, ms); }

void TimerClient::SetTimerIntervalMs(int ms) { TimerManager::Instance()->SetInterval(ms); }

void TimerClient::StopTimer()
{
    if (TimerManager::exists())
        TimerManager::Instance()->UnRegisterClient(this);
}

// ---------------------------------------------------------------------------------
// se_sdk_timers::Timer

namespace se_sdk_timers {

void Timer::Start()
{
    Stop();
    if (clients.empty())
        return;
    // The repeat interval in single precision, as the interval is kept in milliseconds.
    const float intervalSeconds = static_cast<float>(intervalMs) * 0.001f;
    CFRunLoopTimerContext context{0, this, nullptr, nullptr, nullptr};
    handle = CFRunLoopTimerCreate(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + intervalMs * 0.001,
                                  intervalSeconds, 0, 0, &localTimerCallback, &context);
    if (handle)
        CFRunLoopAddTimer(CFRunLoopGetCurrent(), handle, kCFRunLoopCommonModes);
}

void Timer::Stop()
{
    if (!handle)
        return;
    CFRunLoopRemoveTimer(CFRunLoopGetCurrent(), handle, kCFRunLoopCommonModes);
    CFRunLoopTimerInvalidate(handle);
    CFRelease(handle);
    handle = nullptr;
}

bool Timer::hasClient(const TimerClient* client) const
{
    return std::any_of(clients.begin(), clients.end(), [client](const Entry& entry) { return entry.client == client; });
}

bool Timer::addClient(TimerClient* client)
{
    if (hasClient(client))
        return false;
    clients.push_back({client, nextSerial++});
    return true;
}

bool Timer::removeClient(const TimerClient* client)
{
    const auto found =
        std::find_if(clients.begin(), clients.end(), [client](const Entry& entry) { return entry.client == client; });
    if (found == clients.end())
        return false;
    clients.erase(found);
    return true;
}

void Timer::OnTimer()
{
    // Ticks of one timer never overlap (the manager runs one tick at a time), so the copy
    // can reuse its storage.
    tickClients.assign(clients.begin(), clients.end());
    for (const Entry& entry : tickClients) {
        const auto registered = [&entry](const Entry& current) {
            return current.client == entry.client && current.serial == entry.serial;
        };
        if (std::none_of(clients.begin(), clients.end(), registered))
            continue;  // unregistered (or destroyed) by an earlier client of this tick
        if (entry.client->OnTimer())
            continue;
        const auto found = std::find_if(clients.begin(), clients.end(), registered);
        if (found != clients.end())
            clients.erase(found);
    }
    if (clients.empty())
        Stop();
}

}  // namespace se_sdk_timers

// ---------------------------------------------------------------------------------
// TimerManager

TimerManager* TimerManager::Instance()
{
    static TimerManager manager;
    return &manager;
}

bool TimerManager::exists() { return !managerDestroyed; }

TimerManager::~TimerManager()
{
    for (const auto& timer : timerList)
        timer->Stop();
    managerDestroyed = true;
}

void TimerManager::RegisterClient(TimerClient* client, int ms)
{
    if (!client)
        return;
    for (const auto& timer : timerList) {
        if (timer->intervalMs != ms)
            continue;
        if (timer.get() == ticking)
            removeTickingAfterTick = false;
        if (timer->addClient(client) && timer->clientCount() == 1)
            timer->Start();
        return;
    }
    auto timer = std::make_unique<se_sdk_timers::Timer>(ms);
    timer->addClient(client);
    timer->Start();
    timerList.push_back(std::move(timer));
}

void TimerManager::removeIfEmpty(se_sdk_timers::Timer* timer)
{
    if (!timer->empty())
        return;
    timer->Stop();
    if (timer == ticking) {
        removeTickingAfterTick = true;  // its tick is still running: removed when it ends
        return;
    }
    timerList.erase(std::find_if(timerList.begin(), timerList.end(),
                                 [timer](const auto& candidate) { return candidate.get() == timer; }));
}

void TimerManager::UnRegisterClient(TimerClient* client)
{
    for (const auto& timer : timerList) {
        if (timer->removeClient(client)) {
            removeIfEmpty(timer.get());
            return;
        }
    }
}

void TimerManager::UnRegisterClientEverywhere(TimerClient* client)
{
    std::vector<se_sdk_timers::Timer*> emptied;
    for (const auto& timer : timerList)
        if (timer->removeClient(client))
            emptied.push_back(timer.get());
    for (se_sdk_timers::Timer* timer : emptied)
        removeIfEmpty(timer);
}

void TimerManager::tick(se_sdk_timers::Timer* timer)
{
    if (ticking)
        return;  // a nested pump of the run loop; the running tick finishes first
    ticking = timer;
    removeTickingAfterTick = false;
    timer->OnTimer();
    ticking = nullptr;
    if (removeTickingAfterTick) {
        removeTickingAfterTick = false;
        removeIfEmpty(timer);
    }
}

void TimerManager::OnTimer(void* handle)
{
    for (const auto& timer : timerList) {
        if (timer->handle && timer->handle == handle) {
            tick(timer.get());
            return;
        }
    }
}

void TimerManager::OnTimer(CFRunLoopTimerRef handle, void* info)
{
    for (const auto& timer : timerList) {
        if (timer.get() == info && timer->handle && timer->handle == handle) {
            tick(timer.get());
            return;
        }
    }
}

extern "C" void timerCallback(CFRunLoopTimerRef timer, void* info)
{
    if (TimerManager::exists())
        TimerManager::Instance()->OnTimer(timer, info);
}
