# Warning flags for our own code: targets link mp_warnings.
add_library(mp_warnings INTERFACE)
# Designated initializers may leave members at their defaults.
target_compile_options(mp_warnings INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
if(MP_WERROR)
  target_compile_options(mp_warnings INTERFACE -Werror)
endif()
