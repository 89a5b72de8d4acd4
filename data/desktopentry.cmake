# Run by `cmake --install`: writes the menu entry naming the installed program by its full
# path, so that a desktop finds it under a prefix outside PATH (~/.local).
# Needs TAMRO_DESKTOP_IN, TAMRO_DESKTOP_OUT and TAMRO_BINDIR.
set(program "${CMAKE_INSTALL_PREFIX}/${TAMRO_BINDIR}/tamro")
set(exec "${program}")
if(NOT program MATCHES "^[-A-Za-z0-9_./+]+$")
  # Exec quotes an argument with blanks or shell characters, and escapes " ` $ \ inside it.
  string(REGEX REPLACE "([\"`$]|\\\\)" "\\\\\\1" exec "${program}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" exec "${exec}")
# Both keys are strings, in which a backslash is written twice.
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\\" "\\\\" program "${program}")
file(READ "${TAMRO_DESKTOP_IN}" entry)
if(NOT entry MATCHES "\nExec=tamro " OR NOT entry MATCHES "\nTryExec=tamro\n")
  message(FATAL_ERROR "${TAMRO_DESKTOP_IN} lacks the Exec or TryExec line to complete")
endif()
string(REPLACE "\nExec=tamro " "\nExec=${exec} " entry "${entry}")
string(REPLACE "\nTryExec=tamro\n" "\nTryExec=${program}\n" entry "${entry}")
file(WRITE "${TAMRO_DESKTOP_OUT}" "${entry}")
