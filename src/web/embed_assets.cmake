# Writes OUTPUT: a C++ file holding every file of ASSET_DIR as a byte array,
# with its path under "/", its content type and an ETag made from its
# SHA-256, and the version of the whole set, for web/assets.h. Run by the
# build whenever an asset changes.
#
# The pages (*.html) are served with each reference to another file
# ("/app.js") naming it under the set's version ("/a/<version>/app.js"), an
# address whose content never changes, so that a browser keeps it without
# asking again. The modules' imports are relative ("./api.js"), so they
# follow.
#
# The board's page runs one script made of its modules, board_page.js, and
# fetches the views it shows when asked in one more, board_views.js
# (bundle_modules.cmake); the modules stay files of their own for the
# administration's pages. Its styles are one file too, board_page.css:
# style.css, then board_extras.css. A phone opening the page fetches three
# files, not twenty.
cmake_policy(VERSION 3.20)  # run with "cmake -P": IN_LIST and the rest as today
include(${CMAKE_CURRENT_LIST_DIR}/bundle_modules.cmake)
set(made board_page.js board_views.js board_page.css)
set(MODULE_DIR ${ASSET_DIR})
zv_bundle_modules(board_page.js board_views.js ${OUTPUT}. first_answers.js app.js)
set(styles "")
foreach(part style.css board_extras.css)
  file(READ ${ASSET_DIR}/${part} text)
  string(APPEND styles "${text}")
endforeach()
file(WRITE ${OUTPUT}.board_page.css "${styles}")

file(GLOB files RELATIVE ${ASSET_DIR} ${ASSET_DIR}/*)
foreach(name IN LISTS made)
  if(name IN_LIST files)
    message(FATAL_ERROR "web asset ${name}: the build makes a file of this name")
  endif()
endforeach()
list(APPEND files ${made})
list(SORT files)

# Where the file `name` of the set is read from.
function(asset_source name out)
  if(name IN_LIST made)
    set(${out} ${OUTPUT}.${name} PARENT_SCOPE)
  else()
    set(${out} ${ASSET_DIR}/${name} PARENT_SCOPE)
  endif()
endfunction()

# The version of the set: a digest of every file's name and digest.
set(digests "")
foreach(name IN LISTS files)
  asset_source(${name} source)
  if(NOT IS_DIRECTORY ${source})
    file(SHA256 ${source} hash)
    string(APPEND digests "${name} ${hash}\n")
  endif()
endforeach()
string(SHA256 version "${digests}")
string(SUBSTRING ${version} 0 16 version)
set(prefix "/a/${version}")

# A page as served: its references under the version.
function(served_page name out)
  file(READ ${ASSET_DIR}/${name} page)
  foreach(other IN LISTS files)
    string(REPLACE "\"/${other}\"" "\"${prefix}/${other}\"" page "${page}")
  endforeach()
  set(${out} "${page}" PARENT_SCOPE)
endfunction()

set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS files)
  asset_source(${name} source)
  if(IS_DIRECTORY ${source})
    continue()
  endif()
  get_filename_component(ext ${name} LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  elseif(ext STREQUAL ".webmanifest")
    set(type "application/manifest+json")
  elseif(ext STREQUAL ".png")
    set(type "image/png")
  elseif(ext STREQUAL ".ico")
    set(type "image/x-icon")
  else()
    message(FATAL_ERROR "web asset ${name}: no content type for \"${ext}\"")
  endif()
  if(ext STREQUAL ".html")
    served_page(${name} page)
    set(source ${OUTPUT}.${name})
    file(WRITE ${source} "${page}")
  endif()
  file(READ ${source} hex HEX)
  file(SHA256 ${source} hash)
  string(SUBSTRING ${hash} 0 20 tag)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of a readable length.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "// ${name}\nconst unsigned char kAsset${index}[${size} + 1] = {\n    ${bytes}0};\n\n")
  string(APPEND entries
    "        {\"/${name}\", \"${type}\", \"\\\"${tag}\\\"\",\n"
    "         std::string_view(reinterpret_cast<const char*>(kAsset${index}), ${size})},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(text "// Generated from src/web/assets by embed_assets.cmake; do not edit.\n")
string(APPEND text "#include \"web/assets.h\"\n\nnamespace zv::web {\n\nnamespace {\n\n${arrays}}  // namespace\n\n")
string(APPEND text "std::string_view compiledAssetVersion() {\n    return \"${version}\";\n}\n\n")
string(APPEND text "const std::vector<TAsset>& compiledAssets() {\n    static const std::vector<TAsset> assets = {\n${entries}    };\n    return assets;\n}\n\n}  // namespace zv::web\n")

# Written only when it changed, so that an unchanged page compiles nothing.
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
