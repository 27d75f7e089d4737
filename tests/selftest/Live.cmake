# The self-test against zelvan-fake-platform over real HTTP: the workspace server
# checks, the platform checks on both kinds of roots, and strict mode turning a
# missing endpoint red.
foreach(mode server wrong-key platform app-paths app-paths-unexpected strict-404 score-404 approve-page idempotent)
  add_test(NAME selftest.live.${mode}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/run-live.sh $<TARGET_FILE:zelvan> $<TARGET_FILE:zelvan-fake-platform> ${mode})
  set_tests_properties(selftest.live.${mode} PROPERTIES LABELS desktop TIMEOUT 600 RESOURCE_LOCK selftest_stores)
endforeach()

add_test(NAME selftest.board_check
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/run-board-check.sh $<TARGET_FILE:zelvan> $<TARGET_FILE:zelvan-fake-platform>)
set_tests_properties(selftest.board_check PROPERTIES LABELS desktop TIMEOUT 300 RESOURCE_LOCK screen)
