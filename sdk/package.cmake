# Installs the SDK of both architectures, packs it into one archive, and checks
# that the installed tree and the archive hold every file README.md lists.
#
# cmake -DBUILD=<x86_64 build folder> -DOUT=<folder> [-DSTRIPPED=ON]
#       [-DTOOLCHAIN=<toolchain file>] -P sdk/package.cmake
#   BUILD      its CPack configuration names the builds to install (this one
#              and the i686 one), the archive's name and its version
#   OUT        receives install/ (the installed tree), the archive and its
#              .sha256 file; emptied first
#   STRIPPED   the builds are Release builds: the DLLs must be stripped and
#              their .debug files lie beside them. Otherwise the README's
#              .debug files are not expected.
#   TOOLCHAIN  also builds the installed samples against the installed package
#   SIGN       a PKCS#12 file (.pfx): every DLL and EXE is signed before it is
#              packed (cmake/sign.cmake; password in ZELK_SIGN_PASSWORD,
#              optional time-stamp server TIMESTAMP)
#
# The archive depends on the installed files only: entries in the order of
# their names, all with the time SOURCE_DATE_EPOCH (seconds since 1970; the
# present moment when it is not set), no owners (sdk/zip.pl).
cmake_minimum_required(VERSION 3.20)
foreach(required BUILD OUT)
  if(NOT ${required})
    message(FATAL_ERROR "package.cmake needs -D${required}=...")
  endif()
endforeach()
include(${BUILD}/CPackConfig.cmake)
load_cache(${BUILD} READ_WITH_PREFIX "" CMAKE_OBJDUMP)
set(prefix ${OUT}/install)
set(archive ${OUT}/${CPACK_PACKAGE_FILE_NAME}.zip)

include(${CMAKE_CURRENT_LIST_DIR}/../cmake/run_checked.cmake)

# The installed tree and the archive, from the same builds.
file(REMOVE_RECURSE ${OUT})
set(projects ${CPACK_INSTALL_CMAKE_PROJECTS})
while(projects)
  list(POP_FRONT projects build_dir)
  list(REMOVE_AT projects 0 1 2)  # project name, component, subfolder
  run(${CMAKE_COMMAND} --install ${build_dir} --prefix ${prefix})
endwhile()
if(SIGN)
  include(${CMAKE_CURRENT_LIST_DIR}/../cmake/sign.cmake)
  zelk_sign_check()
  file(GLOB_RECURSE signed LIST_DIRECTORIES false ${prefix}/*.dll ${prefix}/*.exe)
  list(SORT signed)
  zelk_sign(${signed})
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  string(TIMESTAMP epoch %s UTC)
endif()
run(perl ${CMAKE_CURRENT_LIST_DIR}/zip.pl ${archive} ${prefix} ${CPACK_PACKAGE_FILE_NAME} ${epoch})
file(SHA256 ${archive} sum)
file(WRITE ${archive}.sha256 "${sum}  ${CPACK_PACKAGE_FILE_NAME}.zip\n")

# What the README promises: the first word of each line of the fenced block
# under "## What is in the package".
file(READ ${prefix}/README.md readme)
string(REGEX MATCH "## What is in the package[^`]*```text\n([^`]*)```" block "${readme}")
string(REGEX MATCHALL "[^\n]+" lines "${CMAKE_MATCH_1}")
set(promised "")
foreach(line ${lines})
  string(REGEX MATCH "^[^ ]+" path "${line}")
  if(path MATCHES "\\.debug$" AND NOT STRIPPED)
    continue()
  endif()
  list(APPEND promised ${path})
endforeach()
list(LENGTH promised count)
if(count LESS 10)
  message(FATAL_ERROR "README.md lists only '${promised}' under \"What is in the package\"")
endif()

run(${CMAKE_COMMAND} -E tar tf ${archive})
string(REGEX MATCHALL "[^\n]+" archived "${run_output}")
set(missing "")
foreach(path ${promised})
  if(NOT EXISTS ${prefix}/${path})
    list(APPEND missing "install/${path}")
  endif()
  if(NOT "${CPACK_PACKAGE_FILE_NAME}/${path}" IN_LIST archived)
    list(APPEND missing "${CPACK_PACKAGE_FILE_NAME}.zip:${path}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "promised by README.md but missing: ${missing}")
endif()

file(STRINGS ${archive}.sha256 recorded LIMIT_COUNT 1)
file(SHA256 ${archive} actual)
if(NOT recorded MATCHES "^${actual} ")
  message(FATAL_ERROR "${archive}.sha256 does not match the archive")
endif()

# Each DLL carries the package's version in its version resource and, from a
# Release build, no debug information of its own, only the link to its file.
foreach(arch x64 x86)
  set(dll ${prefix}/bin/${arch}/zelkenc.dll)
  file(STRINGS ${dll} versions ENCODING UTF-16LE REGEX "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  if(NOT "${CPACK_PACKAGE_VERSION}.0" IN_LIST versions)
    message(FATAL_ERROR "${dll}: version resource '${versions}', package version ${CPACK_PACKAGE_VERSION}")
  endif()
  if(STRIPPED)
    run(${CMAKE_OBJDUMP} -h ${dll})
    if(run_output MATCHES "\\.debug_" OR NOT run_output MATCHES "\\.gnu_debuglink")
      message(FATAL_ERROR "${dll} is not stripped with a debug link:\n${run_output}")
    endif()
  endif()
endforeach()

# The samples build from the installed package alone, and get the module and
# its firmware copied beside them.
if(TOOLCHAIN)
  run(${CMAKE_COMMAND} -S ${prefix}/examples -B ${OUT}/samples -G Ninja -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DZelkEncoder_DIR=${prefix}/lib/cmake/ZelkEncoder)
  run(${CMAKE_COMMAND} --build ${OUT}/samples)
  foreach(file sample_host_c.exe sample_host_cpp.exe zelkenc.dll MbPciEncoder.rom)
    if(NOT EXISTS ${OUT}/samples/${file})
      message(FATAL_ERROR "building the installed samples gave no ${file}")
    endif()
  endforeach()
endif()
message(STATUS "${archive}: ${count} promised files, installed and packed")
