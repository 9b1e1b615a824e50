# The names of the release files, shared by the build (packaging/CMakeLists.txt),
# the packaging script and the package tests.

# lumivane_package_names(<arch> <version> <zip variable> <msi variable>): arch is
# the compiler's processor, i686 or x86_64.
function(lumivane_package_names arch version zip_var msi_var)
  if(arch STREQUAL "i686")
    set(${zip_var} "Lumivane-${version}-win32.zip" PARENT_SCOPE)
    set(${msi_var} "Lumivane-${version}-x86.msi" PARENT_SCOPE)
  elseif(arch STREQUAL "x86_64")
    set(${zip_var} "Lumivane-${version}-win64.zip" PARENT_SCOPE)
    set(${msi_var} "Lumivane-${version}-x64.msi" PARENT_SCOPE)
  else()
    message(FATAL_ERROR "No release packages for the processor '${arch}'")
  endif()
endfunction()

# The version after X.Y.Z: X.Y.(Z+1).
function(lumivane_next_version version next_var)
  string(REGEX MATCH "^([0-9]+\\.[0-9]+)\\.([0-9]+)$" matched "${version}")
  if(NOT matched)
    message(FATAL_ERROR "Not a version of three fields: '${version}'")
  endif()
  math(EXPR build "${CMAKE_MATCH_2} + 1")
  set(${next_var} "${CMAKE_MATCH_1}.${build}" PARENT_SCOPE)
endfunction()
