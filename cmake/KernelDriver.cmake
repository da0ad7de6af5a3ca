# Builds a Windows kernel-mode driver (.sys) from C sources with the
# mingw-w64 DDK headers: native subsystem, DriverEntry as the entry point,
# nothing linked but ntoskrnl and the HAL, no debug information.
find_path(MINGW_DDK_INCLUDE_DIR ntddk.h PATHS /usr/share/mingw-w64/include/ddk
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)

function(add_kernel_driver target file_name)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${file_name} SUFFIX ".sys")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include
                                               ${MINGW_DDK_INCLUDE_DIR})
  target_compile_definitions(${target} PRIVATE PORTTALK_KERNEL)
  target_link_options(${target} PRIVATE -nostdlib -s -Wl,--subsystem,native -Wl,-e,DriverEntry)
  target_link_libraries(${target} PRIVATE ntoskrnl hal)
endfunction()
