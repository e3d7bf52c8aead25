cmake_minimum_required(VERSION 3.25)
# Writes one variant of the extension into OUTPUT: its extension.js, TEMPLATE with the shared
# code of WindowReports.js in place of @WINDOW_REPORTS@, and its metadata.json listing
# SHELL_VERSIONS (a ;-list). Run with cmake -P.
file(READ ${SOURCE_DIR}/WindowReports.js WINDOW_REPORTS)
file(READ ${SOURCE_DIR}/${TEMPLATE} script)
string(REPLACE "@WINDOW_REPORTS@" "${WINDOW_REPORTS}" script "${script}")
file(WRITE ${OUTPUT}/extension.js "${script}")

list(TRANSFORM SHELL_VERSIONS PREPEND "\"")
list(TRANSFORM SHELL_VERSIONS APPEND "\"")
list(JOIN SHELL_VERSIONS ", " SHELL_VERSIONS)
file(READ ${SOURCE_DIR}/metadata.json.in metadata)
string(CONFIGURE "${metadata}" metadata @ONLY)
file(WRITE ${OUTPUT}/metadata.json "${metadata}")
