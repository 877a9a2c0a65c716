# Flags and Qt safety defines shared by every target of ours, on one INTERFACE target.
add_library(kivora_common INTERFACE)
# QT_NO_CONTEXTLESS_CONNECT is enforced by Qt 6.7 and later; on 6.4 it documents the rule
# that every lambda connection names a context object.
target_compile_options(kivora_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(kivora_common INTERFACE
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_NO_KEYWORDS)

if(KIVORA_SANITIZE)
  string(REPLACE "," ";" _kivora_sanitizers "${KIVORA_SANITIZE}")
  foreach(_s IN LISTS _kivora_sanitizers)
    target_compile_options(kivora_common INTERFACE -fsanitize=${_s})
    target_link_options(kivora_common INTERFACE -fsanitize=${_s})
  endforeach()
  target_compile_options(kivora_common INTERFACE -fno-omit-frame-pointer -fno-sanitize-recover=all)
endif()
