# Builds the two Windows stubs as sub-builds of this tree with the MinGW-w64 toolchain
# files, into ${CMAKE_BINARY_DIR}/stub/kavisfx-stub-{i686,x86_64}.exe.
include(ExternalProject)

set(KAVISFX_STUB_DIR ${CMAKE_BINARY_DIR}/stub)
set(KAVISFX_STUB_ARCHES i686 x86_64)
set(KAVISFX_HAVE_STUBS OFF)

if(NOT KAVISFX_STUBS STREQUAL "OFF")
  find_program(KAVISFX_MINGW_I686 i686-w64-mingw32-g++-win32)
  find_program(KAVISFX_MINGW_X86_64 x86_64-w64-mingw32-g++-win32)
  if(KAVISFX_MINGW_I686 AND KAVISFX_MINGW_X86_64)
    set(KAVISFX_HAVE_STUBS ON)
  elseif(KAVISFX_STUBS STREQUAL "ON")
    message(FATAL_ERROR "MinGW-w64 (win32 thread model) not found: apt-get install g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32")
  else()
    message(WARNING "MinGW-w64 not found: the Windows stubs are not built (the stub tests will fail).")
  endif()
endif()

if(KAVISFX_HAVE_STUBS)
  # A host program of the stubs' post-link step: the PE header moved behind the MS-DOS header.
  add_executable(compact_pe_image ${PROJECT_SOURCE_DIR}/cmake/compact_pe_image.cpp)
  foreach(arch IN LISTS KAVISFX_STUB_ARCHES)
    ExternalProject_Add(stub-${arch}
      DEPENDS compact_pe_image
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/stub-build-${arch}
      CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-${arch}-w64-mingw32.cmake
        -DCMAKE_BUILD_TYPE=MinSizeRel
        -DKAVISFX_WERROR=${KAVISFX_WERROR}
        -DKAVISFX_STUB_ARCH=${arch}
        -DKAVISFX_STUB_OUTPUT_DIR=${KAVISFX_STUB_DIR}
        -DKAVISFX_COMPACT_PE_IMAGE=$<TARGET_FILE:compact_pe_image>
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${KAVISFX_STUB_DIR}/kavisfx-stub-${arch}.exe)
  endforeach()
endif()
