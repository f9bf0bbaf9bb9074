# One script made of a page's ES modules, for embed_assets.cmake: a phone
# that opens the page fetches, compiles and links one file instead of a
# chain of imports two or three deep, each link of it a round of tasks.
#
# Each module keeps a scope of its own: its text goes whole into a function
# whose result is its exports,
#   const module$format = (() => {
#   const { serverNow } = module$api;
#   ...the module, without "export"...
#   return { displayName, isAway };
#   })();
# in the order the browser would run them (every import before the module
# importing it, in the order of the imports). An imported name becomes a
# constant, so it cannot be assigned, as an import cannot be.
#
# The modules a page imports only when it needs them ("import('./x.js')")
# go into a second script, loaded at that moment; it takes the modules both
# share from the first, so each runs once.
#
# Only the forms the page's modules use are understood:
#   import { a, b as c } from "./x.js";
#   export function|async function|class|const NAME
#   import("./x.js")
# Anything else ("export let", "export default", "import *", ...) stops the
# build with the file and the text, rather than being bundled wrongly.

cmake_policy(VERSION 3.20)  # run with "cmake -P": IN_LIST and the rest as today

set(ZV_IDENTIFIER "[A-Za-z_$][A-Za-z0-9_$]*")
set(ZV_SPACE "[ \t\r\n]")

# The module an import of `name` names ("./api.js" -> "api.js"), or the
# build stops: only modules beside it are understood.
function(zv_imported_module name address out)
  if(NOT address MATCHES "^\\./[a-z0-9_]+\\.js$")
    message(FATAL_ERROR "bundling ${name}: imports \"${address}\"; only \"./<module>.js\" is understood")
  endif()
  string(SUBSTRING "${address}" 2 -1 module)
  set(${out} ${module} PARENT_SCOPE)
endfunction()

# The name of the constant holding a module's exports ("api.js" ->
# "module$api"), and in <out>_KEY its key in a script's `modules` ("api").
function(zv_module_variable module out)
  string(REGEX REPLACE "\\.js$" "" base "${module}")
  set(${out} "module$${base}" PARENT_SCOPE)
  set(${out}_KEY "${base}" PARENT_SCOPE)
endfunction()

# MODULE_DIR/<name> read and checked: its text without imports and exports
# (<prefix>_TEXT), the modules it imports in their order (<prefix>_IMPORTS),
# the names it exports (<prefix>_EXPORTS) and the modules it imports when it
# needs them (<prefix>_LATER).
function(zv_read_module name prefix)
  if(NOT name MATCHES "^[a-z0-9_]+\\.js$")
    message(FATAL_ERROR "bundling ${name}: a module's name is made of a-z, 0-9 and _ (\"${name}\")")
  endif()
  if(NOT EXISTS ${MODULE_DIR}/${name})
    message(FATAL_ERROR "bundling: no module ${MODULE_DIR}/${name}")
  endif()
  file(READ ${MODULE_DIR}/${name} text)
  set(text "\n${text}")

  set(imports "")
  string(REGEX MATCHALL "\nimport${ZV_SPACE}*{[^}]*}${ZV_SPACE}*from${ZV_SPACE}*\"[^\"]*\"" statements "${text}")
  foreach(statement IN LISTS statements)
    string(REGEX REPLACE ".*from${ZV_SPACE}*\"([^\"]*)\"$" "\\1" address "${statement}")
    zv_imported_module(${name} "${address}" from)
    string(REGEX REPLACE "^[^{]*{([^}]*)}.*$" "\\1" names "${statement}")
    string(REGEX REPLACE "(${ZV_IDENTIFIER})${ZV_SPACE}+as${ZV_SPACE}+(${ZV_IDENTIFIER})" "\\1: \\2" names "${names}")
    zv_module_variable(${from} variable)
    string(REPLACE "${statement}" "\nconst {${names}} = ${variable}" text "${text}")
    list(APPEND imports ${from})
  endforeach()
  if(text MATCHES "\n[ \t]*import[ \t\r\n{*\"']" OR text MATCHES "}${ZV_SPACE}*from${ZV_SPACE}*[\"']")
    message(FATAL_ERROR "bundling ${name}: an import that is not \"import { ... } from \"./x.js\"\"")
  endif()

  set(later "")
  string(REGEX MATCHALL "import\\(\"[^\"]*\"\\)" dynamic "${text}")
  foreach(call IN LISTS dynamic)
    string(REGEX REPLACE "^import\\(\"(.*)\"\\)$" "\\1" address "${call}")
    zv_imported_module(${name} "${address}" from)
    list(APPEND later ${from})
  endforeach()
  if(text MATCHES "import${ZV_SPACE}*\\([^\"]")
    message(FATAL_ERROR "bundling ${name}: import() of an address that is not written out")
  endif()

  string(REGEX MATCHALL "\nexport[ \t]+(async[ \t]+)?(function|class|const)[ \t]+${ZV_IDENTIFIER}" declarations
         "${text}")
  set(exports "")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE ".*[ \t](${ZV_IDENTIFIER})$" "\\1" exported "${declaration}")
    list(APPEND exports ${exported})
  endforeach()
  string(REGEX REPLACE "\nexport[ \t]+((async[ \t]+)?(function|class|const)[ \t])" "\n\\1" text "${text}")
  if(text MATCHES "\n[ \t]*export[ \t\r\n{*]")
    string(REGEX MATCH "\n[ \t]*export[^\n]*" what "${text}")
    message(FATAL_ERROR "bundling ${name}: an export that is not \"export function|class|const NAME\":${what}")
  endif()

  set(${prefix}_TEXT "${text}" PARENT_SCOPE)
  set(${prefix}_IMPORTS "${imports}" PARENT_SCOPE)
  set(${prefix}_EXPORTS "${exports}" PARENT_SCOPE)
  set(${prefix}_LATER "${later}" PARENT_SCOPE)
endfunction()

# Adds `module` to ZV_ORDER after the modules it imports (those not in
# ZV_OUTSIDE nor in ZV_ORDER already), as the browser would run them.
function(zv_visit module)
  if("${module}" IN_LIST ZV_ORDER OR "${module}" IN_LIST ZV_OUTSIDE)
    return()
  endif()
  if("${module}" IN_LIST ZV_VISITING)
    message(FATAL_ERROR "bundling: ${module} imports itself through ${ZV_VISITING}")
  endif()
  list(APPEND ZV_VISITING ${module})
  zv_read_module(${module} visited)
  foreach(imported IN LISTS visited_IMPORTS)
    zv_visit(${imported})
  endforeach()
  list(APPEND ZV_ORDER ${module})
  set(ZV_ORDER "${ZV_ORDER}" PARENT_SCOPE)
endfunction()

# The modules `entries` import, directly or not, and themselves, in the order
# they run, leaving out those of `outside`: into `out`.
function(zv_module_order entries outside out)
  set(ZV_ORDER "")
  set(ZV_VISITING "")
  set(ZV_OUTSIDE "${outside}")
  foreach(entry IN LISTS entries)
    zv_visit(${entry})
  endforeach()
  set(${out} "${ZV_ORDER}" PARENT_SCOPE)
endfunction()

# The text of `modules` (in order), each in its scope, with their
# when-needed imports answered from `later_script`; the modules they import
# when needed into `later_out`.
function(zv_module_texts modules later_script out later_out)
  set(text "")
  set(later "")
  foreach(module IN LISTS modules)
    zv_read_module(${module} m)
    zv_module_variable(${module} variable)
    foreach(wanted IN LISTS m_LATER)
      if(NOT later_script)
        message(FATAL_ERROR "bundling ${module}: imports ${wanted} when needed, in a script loaded when needed")
      endif()
      zv_module_variable(${wanted} wantedVariable)
      string(REPLACE "import(\"./${wanted}\")"
             "import(\"./${later_script}\").then((later) => later.modules.${wantedVariable_KEY})" m_TEXT "${m_TEXT}")
      list(APPEND later ${wanted})
    endforeach()
    list(JOIN m_EXPORTS ", " exports)
    string(APPEND text "// --- ${module}\nconst ${variable} = (() => {${m_TEXT}\nreturn { ${exports} };\n})();\n\n")
  endforeach()
  list(REMOVE_DUPLICATES later)
  set(${out} "${text}" PARENT_SCOPE)
  set(${later_out} "${later}" PARENT_SCOPE)
endfunction()

# "export const modules = { api: module$api, ... };" for `modules`.
function(zv_modules_export modules out)
  set(entries "")
  foreach(module IN LISTS modules)
    zv_module_variable(${module} variable)
    list(APPEND entries "${variable_KEY}: ${variable}")
  endforeach()
  list(JOIN entries ",\n  " entries)
  set(${out} "export const modules = {\n  ${entries},\n};\n" PARENT_SCOPE)
endfunction()

# Writes <prefix><script>, the modules `entries` import and themselves, and
# <prefix><later_script>, the modules they import when needed and what those
# import, but not what the first holds.
function(zv_bundle_modules script later_script prefix)
  set(entries ${ARGN})
  set(header "// Made by the build (bundle_modules.cmake) from the page's modules; do not edit.\n\n")
  zv_module_order("${entries}" "" first)
  zv_module_texts("${first}" ${later_script} text later)
  zv_modules_export("${first}" exports)
  file(WRITE ${prefix}${script} "${header}${text}${exports}")

  zv_module_order("${later}" "${first}" second)
  set(shared "")
  foreach(module IN LISTS second)
    zv_read_module(${module} m)
    foreach(imported IN LISTS m_IMPORTS)
      if(imported IN_LIST first)
        list(APPEND shared ${imported})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES shared)
  set(taken "import { modules as first } from \"./${script}\";\n")
  foreach(module IN LISTS shared)
    zv_module_variable(${module} variable)
    string(APPEND taken "const ${variable} = first.${variable_KEY};\n")
  endforeach()
  zv_module_texts("${second}" "" text none)
  zv_modules_export("${second}" exports)
  file(WRITE ${prefix}${later_script} "${header}${taken}\n${text}${exports}")
endfunction()
