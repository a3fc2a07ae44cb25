list(APPEND ZIM_TARGET_SOURCES
  download.h download.cpp
  downloadplan.h downloadplan.cpp
  erasedrangeset.h
  uploadedloadfile.h uploadedloadfile.cpp)
