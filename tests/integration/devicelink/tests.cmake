# The hand-driven device of the platform tests sends reports of any length.
target_include_directories(${test_target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/integration/platform)
list(APPEND test_properties TIMEOUT 60)
