# zelbo_wine_session(<fixture> <prefix-folder> <environment-variable>)
# One wine session for a test run: a fresh prefix, a persistent server (so
# each test starts in a fraction of a second), stopped at the end; tests
# <fixture>.start and <fixture>.stop. Sets <environment-variable> to the
# environment the tests of the session run in.
function(zelbo_wine_session fixture prefix out_environment)
  set(session ${PROJECT_SOURCE_DIR}/tests/windows/wine_session.sh)
  set(environment WINEPREFIX=${prefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
                  LC_ALL=C.UTF-8 DISPLAY=)
  add_test(NAME ${fixture}.start COMMAND ${session} start)
  add_test(NAME ${fixture}.stop COMMAND ${session} stop)
  set_tests_properties(${fixture}.start PROPERTIES FIXTURES_SETUP ${fixture}
                                                   ENVIRONMENT "${environment}")
  set_tests_properties(${fixture}.stop PROPERTIES FIXTURES_CLEANUP ${fixture}
                                                  ENVIRONMENT "${environment}")
  set(${out_environment} "${environment}" PARENT_SCOPE)
endfunction()
