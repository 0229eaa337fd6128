# The style designer among the program's windows, its preview in the real web
# engine (offscreen; as root the engine needs its sandbox off, and without a
# GPU its software path).
pelliwox_test(test_cssdsgnr GUI SOURCES cssdsgnr_test.cpp LIBS pelliwox_app composer
  ENV QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu)
# The engine frees some of its own objects with a sized delete of another
# type (inside libQt6WebEngineCore): in the sanitizer build that one check is
# off for this binary, as for the viewer's tests.
if(PELLIWOX_SANITIZE)
  foreach(var ${PELLIWOX_SANITIZER_ENV})
    if(var MATCHES "^ASAN_OPTIONS=")
      set_property(TEST test_cssdsgnr APPEND PROPERTY ENVIRONMENT "${var}:new_delete_type_mismatch=0")
    endif()
  endforeach()
endif()
