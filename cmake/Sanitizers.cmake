# MP_SANITIZE builds every target (bundles included) with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the test that triggered it.
if(MP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # GCC's flow analysis reports false "maybe uninitialized" warnings under the sanitizers.
  add_compile_options(-Wno-maybe-uninitialized)
endif()

# MP_TSAN builds every target with ThreadSanitizer: the validator's threads check then
# reports a data race between a module's halves as a failure (the child process ends with
# exit status 66, set by mphost's default sanitizer options). Configure it without tests
# and benchmarks: -DMP_BUILD_TESTS=OFF -DMP_BUILD_BENCHMARKS=OFF.
if(MP_TSAN)
  if(MP_SANITIZE)
    message(FATAL_ERROR "MP_TSAN and MP_SANITIZE cannot be combined: use separate build folders")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  # The live engine's queue keeps its standalone fences (the sanitizer ignores them and is told
  # of each crossing instead, see host/common/spsc_queue.h); GCC warns about every one.
  add_compile_options(-Wno-tsan)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(MP_TSAN=1)
endif()
