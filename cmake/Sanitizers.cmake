# MP_SANITIZE builds every target (bundles included) with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the test that triggered it.
if(MP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # GCC's flow analysis reports false "maybe uninitialized" warnings under the sanitizers.
  add_compile_options(-Wno-maybe-uninitialized)
endif()
