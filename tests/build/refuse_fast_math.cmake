# The simulation refuses to compile with the options that break its
# rounding and that the compiler reveals: compiled with each, the frame
# step must stop at its #error; compiled without, it must compile.
# cmake -DCXX=compiler -DCOMPILER_ID=GNU|Clang -DSRC=src-dir -P refuse_fast_math.cmake
set(refused "-ffast-math" "-Ofast" "-ffinite-math-only")
if(CXX MATCHES "em\\+\\+")
  list(REMOVE_ITEM refused "-Ofast")  # emscripten's driver has no such level
endif()
if(COMPILER_ID STREQUAL "GNU")
  # Clang defines no macro for these: its self-test in frame_dispatch.cpp
  # stands in for them at run time.
  list(APPEND refused "-funsafe-math-optimizations" "-fassociative-math -fno-signed-zeros -fno-trapping-math" "-freciprocal-math")
endif()
foreach(options "" ${refused})
  separate_arguments(option_list UNIX_COMMAND "${options}")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -I${SRC} ${option_list} ${SRC}/sim/frame_step.cpp
                  RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET)
  if(options STREQUAL "")
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "the frame step does not compile with the project's options:\n${errors}")
    endif()
  elseif(status EQUAL 0 OR NOT errors MATCHES "must be compiled without -ffast-math")
    message(FATAL_ERROR "the frame step compiled with ${options} (status ${status}):\n${errors}")
  endif()
endforeach()
