# The fuzz targets: fuzz/<name>.cpp defines the entry function and fuzz/corpus/<name>/ holds
# its seeds. TAVILINK_FUZZ_LIBS_<name> names what a target links beyond tavilink_core.
# fuzz/ builds them for libFuzzer; tests/reliability replays each corpus in every build.
set(TAVILINK_FUZZ_TARGETS frame_reader catalogue short_name zip_reader link_answers)
set(TAVILINK_FUZZ_LIBS_link_answers calcsim)
set(TAVILINK_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
