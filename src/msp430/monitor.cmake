# Monitor interface and register view shared by the hardware targets and the simulator.
list(APPEND ZIM_MSP430_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430monitorinterface.h
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430monitorinterface.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430registers.h
  ${CMAKE_CURRENT_SOURCE_DIR}/msp430registers.cpp)
