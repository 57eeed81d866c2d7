# One place for the strict settings every target of the project shares.
add_library(nuvola_settings INTERFACE)
target_compile_features(nuvola_settings INTERFACE cxx_std_17)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_definitions(nuvola_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_FOREACH
    QT_DISABLE_DEPRECATED_UP_TO=0x060400)
if(MSVC)
    target_compile_options(nuvola_settings INTERFACE /W4 /utf-8)
else()
    target_compile_options(nuvola_settings INTERFACE -Wall -Wextra -pedantic -Wshadow -Wnon-virtual-dtor)
endif()
