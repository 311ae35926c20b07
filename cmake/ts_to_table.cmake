cmake_minimum_required(VERSION 3.25)
# Turns a Qt Linguist .ts file into the core's table of English texts
# (UI_TEXT_TABLE of common/ui_text.h), so the core and the window read one file.
#   cmake -DTS=translations/orbelle_en.ts -DOUT=ui_text_table.cpp -P ts_to_table.cmake
# Unfinished translations become empty (the lookup then keeps the Chinese source).
# Vanished ones (texts lupdate did not find in the code) are kept: a text shown without
# a mark for lupdate still gets its English from the file.

file(READ "${TS}" ts)

# The text between the first `open` and the following `close` at or after `from`;
# `at` gets the position after `close`, or -1 when there is none.
function(take_between text from open close out_value out_at)
  string(SUBSTRING "${text}" ${from} -1 rest)
  string(FIND "${rest}" "${open}" start)
  if(start EQUAL -1)
    set(${out_at} -1 PARENT_SCOPE)
    return()
  endif()
  string(LENGTH "${open}" open_length)
  math(EXPR start "${start} + ${open_length}")
  string(SUBSTRING "${rest}" ${start} -1 rest)
  string(FIND "${rest}" "${close}" stop)
  if(stop EQUAL -1)
    set(${out_at} -1 PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING "${rest}" 0 ${stop} value)
  string(LENGTH "${close}" close_length)
  math(EXPR at "${from} + ${start} + ${stop} + ${close_length}")
  set(${out_value} "${value}" PARENT_SCOPE)
  set(${out_at} ${at} PARENT_SCOPE)
endfunction()

# XML text to a C string literal's contents.
function(c_literal xml out)
  set(s "${xml}")
  string(REPLACE "&lt;" "<" s "${s}")
  string(REPLACE "&gt;" ">" s "${s}")
  string(REPLACE "&quot;" "\"" s "${s}")
  string(REPLACE "&apos;" "'" s "${s}")
  string(REPLACE "&#x0a;" "\n" s "${s}")
  string(REPLACE "&amp;" "&" s "${s}")
  string(REPLACE "\\" "\\\\" s "${s}")
  string(REPLACE "\"" "\\\"" s "${s}")
  string(REPLACE "\r" "" s "${s}")
  string(REPLACE "\n" "\\n" s "${s}")
  set(${out} "${s}" PARENT_SCOPE)
endfunction()

set(rows "")
set(count 0)
set(pos 0)
while(TRUE)
  take_between("${ts}" ${pos} "<context>" "</context>" context_xml pos)
  if(pos EQUAL -1)
    break()
  endif()
  take_between("${context_xml}" 0 "<name>" "</name>" context_name ignored)
  c_literal("${context_name}" context_c)
  set(mpos 0)
  while(TRUE)
    take_between("${context_xml}" ${mpos} "<message" "</message>" message_xml mpos)
    if(mpos EQUAL -1)
      break()
    endif()
    take_between("${message_xml}" 0 "<source>" "</source>" source_xml at)
    if(at EQUAL -1)
      continue()
    endif()
    # The translation element: <translation>, <translation type="...">, or empty.
    string(FIND "${message_xml}" "<translation" t)
    set(english_xml "")
    if(NOT t EQUAL -1)
      string(SUBSTRING "${message_xml}" ${t} -1 translation_xml)
      string(FIND "${translation_xml}" ">" head_end)
      string(SUBSTRING "${translation_xml}" 0 ${head_end} head)
      if(NOT head MATCHES "/$" AND NOT head MATCHES "type=\"unfinished\"")
        take_between("${translation_xml}" 0 ">" "</translation>" english_xml ignored)
      endif()
    endif()
    c_literal("${source_xml}" source_c)
    c_literal("${english_xml}" english_c)
    string(APPEND rows "    {\"${context_c}\", \"${source_c}\", \"${english_c}\"},\n")
    math(EXPR count "${count} + 1")
  endwhile()
endwhile()

set(content "// Generated from ${TS} by cmake/ts_to_table.cmake; do not edit.
#include \"common/ui_text.h\"

const UiTextEntry UI_TEXT_TABLE[] = {
${rows}    {\"\", \"\", \"\"},
};
const unsigned UI_TEXT_TABLE_SIZE = ${count};
")
file(WRITE "${OUT}" "${content}")
