#pragma once
// The single-producer, single-consumer queue that joins the live engine's threads, and the
// recorder's audio thread to its writer.
//
// The queue orders its slots with standalone fences, which ThreadSanitizer does not model. Under
// clang the queue's header announces each fence to the sanitizer itself; GCC (before 14) has no
// __has_feature, so the same announcements are declared here before the header is read. Without
// them every element handed across would be reported as a race.
#if defined(__SANITIZE_THREAD__) && !defined(__has_feature)
namespace moodycamel {
inline int ae_tsan_global;
}
extern "C" void AnnotateHappensBefore(const char* file, int line, void* address);
extern "C" void AnnotateHappensAfter(const char* file, int line, void* address);
#define AE_TSAN_ANNOTATE_RELEASE() \
    AnnotateHappensBefore(__FILE__, __LINE__, static_cast<void*>(&::moodycamel::ae_tsan_global))
#define AE_TSAN_ANNOTATE_ACQUIRE() \
    AnnotateHappensAfter(__FILE__, __LINE__, static_cast<void*>(&::moodycamel::ae_tsan_global))
#endif

#include <readerwriterqueue/readerwriterqueue.h>
