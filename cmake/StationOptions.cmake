# Compiler warnings, warnings-as-errors and sanitizers for every target of the
# station. Targets call station_target_defaults(<target>).

option(STATION_WERROR "Treat compiler warnings as errors" OFF)
set(STATION_SANITIZE "" CACHE STRING "Sanitizers to build with: address;undefined or thread")

# Nothing Qt has deprecated may be used: APIs deprecated up to 5.15 are
# compiled out (and so are those Qt 6 removed); under Qt 6, also those
# deprecated in 6.0 to 6.4.
if(STATION_QT STREQUAL "6")
    add_compile_definitions(QT_NO_FOREACH QT_DISABLE_DEPRECATED_BEFORE=0x060400)
else()
    add_compile_definitions(QT_NO_FOREACH QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
endif()

if(STATION_SANITIZE)
    string(REPLACE ";" "," _station_san "${STATION_SANITIZE}")
    add_compile_options(-fsanitize=${_station_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_station_san})
endif()

function(station_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(STATION_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    # Under ThreadSanitizer every program starts its children with fork(),
    # which the sanitizer handles, instead of Qt's raw clone (see the file).
    get_target_property(_type ${target} TYPE)
    if(STATION_SANITIZE MATCHES "thread" AND _type STREQUAL "EXECUTABLE")
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizers/tsanfork.cpp)
    endif()
endfunction()
