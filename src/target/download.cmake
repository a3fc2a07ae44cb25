list(APPEND ZIM_TARGET_SOURCES
  download.h download.cpp
  erasedrangeset.h
  uploadedloadfile.h uploadedloadfile.cpp)
