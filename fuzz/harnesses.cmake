# The harnesses and the library each needs: fuzz_<name>.cpp, seeds in
# corpus/<name>/, inputs of faults found and fixed in regressions/<name>/.
# Used by fuzz/CMakeLists.txt (libFuzzer) and tests/fuzz (replay).
set(STATION_FUZZ_HARNESSES
    chipanswers:chipctl_lib
    atcmd:chipctl_lib
    ymodemsender:chipctl_lib
    rfc2217client:chipctl_lib
    chipinfo:chipctl_lib
    tooloutput:benchmate_engine
    deviceconfig:benchmate_core
    stationini:benchmate_results
    simcommands:stationsim_lib
    scenario:stationsim_lib
)
