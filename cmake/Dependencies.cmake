# Imported targets for the cached third-party builds of the current target.
set(_arch ${CMAKE_SYSTEM_PROCESSOR})

add_library(velmora_xmptoolkit INTERFACE)
target_include_directories(velmora_xmptoolkit SYSTEM INTERFACE
  ${VELMORA_XMP_ROOT}/${_arch}/include
  ${VELMORA_XMP_ROOT}/${_arch}/include/public/include)
# XMP_StaticBuild=1: the library is linked in, which is what makes
# SXMPFiles::OpenFile take a client XMP_IO.
target_compile_definitions(velmora_xmptoolkit INTERFACE WIN_ENV=1 XML_STATIC XMP_StaticBuild=1)
target_link_libraries(velmora_xmptoolkit INTERFACE
  ${VELMORA_XMP_ROOT}/${_arch}/lib/libxmptoolkit.a
  ${VELMORA_EXPAT_ROOT}/${_arch}/lib/libexpat.a
  ${VELMORA_ZLIB_ROOT}/${_arch}/lib/libz.a)

# libheif, the container reader alone (no codecs): LIBHEIF_STATIC_BUILD keeps
# its declarations free of dllimport.
add_library(velmora_heif INTERFACE)
target_include_directories(velmora_heif SYSTEM INTERFACE ${VELMORA_HEIF_ROOT}/${_arch}/include)
target_compile_definitions(velmora_heif INTERFACE LIBHEIF_STATIC_BUILD)
target_link_libraries(velmora_heif INTERFACE ${VELMORA_HEIF_ROOT}/${_arch}/lib/libheif.a)

# The decompressors the container readers use directly: zlib (also the
# toolkit's) and Brotli's decoder.
if(NOT VELMORA_BROTLI_ROOT OR NOT EXISTS ${VELMORA_BROTLI_ROOT}/${_arch}/lib/libbrotlidec.a)
  message(FATAL_ERROR "Brotli's decoder not found in the dependency cache; run scripts/build-deps.sh")
endif()
add_library(velmora_decompress INTERFACE)
target_include_directories(velmora_decompress SYSTEM INTERFACE
  ${VELMORA_ZLIB_ROOT}/${_arch}/include
  ${VELMORA_BROTLI_ROOT}/${_arch}/include)
target_link_libraries(velmora_decompress INTERFACE
  ${VELMORA_BROTLI_ROOT}/${_arch}/lib/libbrotlidec.a
  ${VELMORA_ZLIB_ROOT}/${_arch}/lib/libz.a)

add_library(velmora_gtest INTERFACE)
target_include_directories(velmora_gtest SYSTEM INTERFACE ${VELMORA_GTEST_ROOT}/${_arch}/include)
target_link_libraries(velmora_gtest INTERFACE
  ${VELMORA_GTEST_ROOT}/${_arch}/lib/libgmock.a
  ${VELMORA_GTEST_ROOT}/${_arch}/lib/libgtest.a)

# nlohmann/json, header-only: a directory holding nothing but the nlohmann
# folder, so that /usr/include stays out of the cross builds.
if(NOT VELMORA_JSON_ROOT OR NOT EXISTS ${VELMORA_JSON_ROOT}/include/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann/json not found in the dependency cache; configure through scripts/build.sh")
endif()
add_library(velmora_json INTERFACE)
target_include_directories(velmora_json SYSTEM INTERFACE ${VELMORA_JSON_ROOT}/include)
