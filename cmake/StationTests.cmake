# station_add_test: registers a test with CTest. Every test folder uses it.
#
#   station_add_test(<name>
#       [SOURCES <file>...]       the test program's sources (default <name>.cpp)
#       [LIBS <target>...]        what it links besides Qt::Test
#       [DEFINES <definition>...] its compile definitions
#       [DEPENDS <target>...]     programs it runs, built before it
#       [LABELS <label>...]       e2e for a whole-station test (else it is a
#                                 unit test), threaded for the threaded parts,
#                                 and any others (stationsim, peer, ...)
#       [TIMEOUT <seconds>]       (default: CTest's own)
#       [RUN_SERIAL]              nothing runs beside it
#       [DELIVERY]                once per way the simulated chips' answers
#                                 reach the host (STATION_DELIVERY_MODELS):
#                                 each entry gets the model as a last part
#                                 of its name, STATIONSIM_DELIVERY=<model> and
#                                 the label delivery
#       [SLOW_CHIPS]              once more against chips whose firmware
#                                 prints slowly (stationsim --chip-pace slow),
#                                 their bytes delivered one by one: an entry
#                                 named .slow, labelled delivery
#       [ENV <variable=value>...]
#       [ARGS <argument>...]      the program's arguments
#       [CASE <suffix> <argument>...]...
#                                 one CTest entry per case instead of one for
#                                 the whole program, running the arguments
#                                 given (test functions, or data tags)
#       [COMMAND <command>...])   a script test: runs the command, builds nothing
#
# The CTest name is the test's folder below tests/ with dots, then the name
# (and the case, and the delivery model): chipctl.commands.tst_simrf.usb,
# benchmate.engine.tst_testthread.cycle.
# Every test carries exactly one of the labels unit and e2e. The programs of
# the tests labelled threaded and what they run make up the target
# threaded_tests, which a ThreadSanitizer build builds.
set(STATION_TESTS_ROOT ${PROJECT_SOURCE_DIR}/tests)

# The ways the simulated chips' answers reach the host (stationsim
# --delivery) that a DELIVERY test runs under, once each: a USB-serial
# adapter's packets, byte by byte, a network device server's splits. Whole
# lines are what no real link gives, so they are left out.
set(STATION_DELIVERY_MODELS usb bytes net)

function(station_add_test name)
    set(_keywords SOURCES LIBS DEFINES DEPENDS LABELS TIMEOUT RUN_SERIAL DELIVERY SLOW_CHIPS ENV
        ARGS CASE COMMAND)
    # CASE repeats, which cmake_parse_arguments does not keep: take the cases
    # out first, each as "suffix|argument|argument...".
    set(_rest "")
    set(_cases "")
    set(_case "")
    set(_in_case FALSE)
    foreach(_arg IN LISTS ARGN)
        if(_in_case AND (_arg IN_LIST _keywords))
            list(APPEND _cases "${_case}")
            set(_in_case FALSE)
        endif()
        if(_arg STREQUAL "CASE")
            set(_in_case TRUE)
            set(_case "")
        elseif(_in_case)
            if(_case STREQUAL "")
                set(_case "${_arg}")
            else()
                string(APPEND _case "|${_arg}")
            endif()
        else()
            list(APPEND _rest "${_arg}")
        endif()
    endforeach()
    if(_in_case)
        list(APPEND _cases "${_case}")
    endif()
    cmake_parse_arguments(T "RUN_SERIAL;DELIVERY;SLOW_CHIPS" "TIMEOUT"
        "SOURCES;LIBS;DEFINES;DEPENDS;LABELS;ENV;ARGS;COMMAND" ${_rest})
    if(T_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "station_add_test(${name}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
    endif()
    if("unit" IN_LIST T_LABELS)
        message(FATAL_ERROR "station_add_test(${name}): unit is the default label; give e2e or nothing")
    endif()
    if(NOT "e2e" IN_LIST T_LABELS)
        list(PREPEND T_LABELS unit)
    endif()

    file(RELATIVE_PATH _folder ${STATION_TESTS_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE "/" "." _prefix "${_folder}.${name}")

    if(T_COMMAND)
        set(_command ${T_COMMAND})
    else()
        if(NOT T_SOURCES)
            set(T_SOURCES ${name}.cpp)
        endif()
        add_executable(${name} ${T_SOURCES})
        target_link_libraries(${name} PRIVATE ${T_LIBS} Qt::Test)
        if(T_DEFINES)
            target_compile_definitions(${name} PRIVATE ${T_DEFINES})
        endif()
        if(T_DEPENDS)
            add_dependencies(${name} ${T_DEPENDS})
        endif()
        station_target_defaults(${name})
        set(_command ${name})
    endif()
    if("threaded" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY STATION_THREADED_TARGETS ${T_DEPENDS})
        if(NOT T_COMMAND)
            set_property(GLOBAL APPEND PROPERTY STATION_THREADED_TARGETS ${name})
        endif()
    endif()

    # Qt's offscreen platform for the window tests; under ThreadSanitizer
    # only the station's own code is checked, Qt itself is not instrumented
    # (programs the test starts inherit this).
    set(_env QT_QPA_PLATFORM=offscreen)
    if(STATION_SANITIZE MATCHES "thread")
        list(APPEND _env TSAN_OPTIONS=ignore_noninstrumented_modules=1:second_deadlock_stack=1)
    endif()
    list(APPEND _env ${T_ENV})

    set(_models "")
    if(T_DELIVERY)
        set(_models ${STATION_DELIVERY_MODELS})
        list(APPEND T_LABELS delivery)
    endif()
    if(T_SLOW_CHIPS)
        list(APPEND _models slow)
        if(NOT "delivery" IN_LIST T_LABELS)
            list(APPEND T_LABELS delivery)
        endif()
    endif()
    set(_entries "")
    if(_cases)
        # Each case is "suffix|argument|..."; the entry keeps the "|" until
        # it is taken apart below, so that it stays one list element.
        foreach(_case IN LISTS _cases)
            list(APPEND _entries "${_prefix}.${_case}")
        endforeach()
    else()
        list(APPEND _entries "${_prefix}")
    endif()
    set(_tests "")
    foreach(_entry IN LISTS _entries)
        string(REPLACE "|" ";" _entry "${_entry}")
        list(POP_FRONT _entry _test)
        if(_models)
            foreach(_model IN LISTS _models)
                add_test(NAME ${_test}.${_model} COMMAND ${_command} ${T_ARGS} ${_entry})
                if(_model STREQUAL "slow")
                    set(_sim "STATIONSIM_DELIVERY=bytes;STATIONSIM_CHIP_PACE=slow")
                else()
                    set(_sim "STATIONSIM_DELIVERY=${_model}")
                endif()
                set_tests_properties(${_test}.${_model} PROPERTIES
                    ENVIRONMENT "${_env};${_sim}")
                list(APPEND _tests ${_test}.${_model})
            endforeach()
        else()
            add_test(NAME ${_test} COMMAND ${_command} ${T_ARGS} ${_entry})
            set_tests_properties(${_test} PROPERTIES ENVIRONMENT "${_env}")
            list(APPEND _tests ${_test})
        endif()
    endforeach()
    set_tests_properties(${_tests} PROPERTIES LABELS "${T_LABELS}")
    if(T_TIMEOUT)
        set_tests_properties(${_tests} PROPERTIES TIMEOUT ${T_TIMEOUT})
    endif()
    if(T_RUN_SERIAL)
        set_tests_properties(${_tests} PROPERTIES RUN_SERIAL TRUE)
    endif()
endfunction()
