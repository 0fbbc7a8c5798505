# Redraws the icon and compares it with the committed one, byte for byte.
execute_process(COMMAND ${PYTHON} ${SCRIPT} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_icon.py failed: ${status}")
endif()
file(SHA256 ${COMMITTED} committed)
file(SHA256 ${OUTPUT} redrawn)
if(NOT committed STREQUAL redrawn)
  message(FATAL_ERROR "the committed icon (sha256 ${committed}) is not what make_icon.py draws "
                      "(sha256 ${redrawn}); run: installer/icon/make_icon.py installer/PakInstaller.ico")
endif()
message(STATUS "icon reproduced: sha256 ${redrawn}")
