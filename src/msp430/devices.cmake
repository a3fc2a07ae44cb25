# Device database: the loader side (acquire/release, identify strings, device listing) in
# zim_msp430, and the msp430devices library it loads at run time.
list(APPEND ZIM_MSP430_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430devicedatabase.h
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430devices.h
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430devices.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/devicelisting.h
  ${CMAKE_CURRENT_SOURCE_DIR}/devicelisting.cpp)
add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/devicelib)
# zim_msp430 is created after this include; its dependency on the library is added below it
# through a deferred call, so that every build tree holds the library next to the executable.
cmake_language(DEFER CALL add_dependencies zim_msp430 msp430devices)
