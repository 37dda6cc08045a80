# Build conventions shared by every target of the project.

# Warnings for our own code; QUELLSO_WERROR makes them fatal (scripts/test turns it on).
function(quellso_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QUELLSO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(QUELLSO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
else()
  # Hardened as Debian builds its packages (dpkg-buildflags): checked C library calls where
  # the code is optimized (the checks need the optimizer; the sanitizers do their own).
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
# Debian's hardening too: the stack guarded, relocations read-only and bound at start-up.
add_compile_options(-fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# quellso_library(name SOURCES ... LIBS ...): one library per subsystem folder.
function(quellso_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  quellso_warnings(${name})
endfunction()

# quellso_add_test(name SOURCES ... LIBS ... [GUI | XCB | XCB_WM] [TIMEOUT seconds]): one
# test executable per unit, registered with CTest.  GUI tests get a QApplication on the
# offscreen platform from tests/support (gui_main.cpp); XCB tests get one on the X11 platform,
# run under a virtual display by xvfb-run, for what depends on the platform plugin (keys,
# focus, shortcuts); XCB_WM tests run there with a window manager that frames the windows
# (tests/support/with-window-manager), for what depends on the frame; the others use
# GoogleTest's own main.  An XCB or XCB_WM test whose tools are missing is reported as skipped.
function(quellso_add_test name)
  cmake_parse_arguments(ARG "GUI;XCB;XCB_WM" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(ARG_XCB_WM)
    set(ARG_XCB ON)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI OR ARG_XCB)
    target_link_libraries(${name} PRIVATE quellso_test_gui ${ARG_LIBS})
  else()
    target_link_libraries(${name} PRIVATE quellso_test_support GTest::gtest_main ${ARG_LIBS})
  endif()
  quellso_warnings(${name})
  set(platform offscreen)
  set(lsan "")
  if(ARG_XCB)
    set(platform xcb)
    set(lsan ";LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan-xcb.supp")
    find_program(QUELLSO_XVFB_RUN xvfb-run)
    if(ARG_XCB_WM)
      # Skips (77) by itself when xvfb-run or openbox is missing.
      add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-window-manager $<TARGET_FILE:${name}>)
      set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    elseif(QUELLSO_XVFB_RUN)
      add_test(NAME ${name} COMMAND ${QUELLSO_XVFB_RUN} -a $<TARGET_FILE:${name}>)
    else()
      message(WARNING "${name} runs under xvfb-run (Debian packages xvfb and xauth, which scripts/test "
                      "installs); without it the test is skipped")
      add_test(NAME ${name} COMMAND sh -c "echo '${name}: xvfb-run is missing: install xvfb and xauth'; exit 77")
      set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(ARG_XCB)
    # One virtual display at a time: two xvfb-run -a started together can pick the same
    # display number, and a window manager then starts on the wrong server or none.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK quellso_virtual_display)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=${platform};ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1${lsan}")
endfunction()

# The program's version for the code, from project(VERSION) in CMakeLists.txt: link
# quellso_version and include "quellso/version.h".
configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in ${PROJECT_BINARY_DIR}/generated/quellso/version.h @ONLY)
add_library(quellso_version INTERFACE)
target_include_directories(quellso_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
