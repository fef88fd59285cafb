// How far a module whose output follows a driving input has come to rest. Shared by
// the DC blocker, the integrator and the two gliders.
#pragma once

enum class SettleState {
    Active = 0,    // the driving input streams
    Settling = 1,  // the driving input is static but the output may still move
    Asleep = 2,    // the output is at rest, reported static, and the module asked to sleep
};
