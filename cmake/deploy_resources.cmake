# Puts the files the program reads beside it: the language files, the help pages, and a
# default setting.ini only when there is none yet (the user's choices live in it).
# Run as: cmake -DSRC=<resources> -DDST=<program folder> -P deploy_resources.cmake
file(GLOB languages "${SRC}/languages/*.ini")
file(COPY ${languages} DESTINATION "${DST}/languages")
file(GLOB pages "${SRC}/help/*.html")
file(COPY ${pages} DESTINATION "${DST}/help")
if(NOT EXISTS "${DST}/setting.ini")
  file(COPY "${SRC}/setting.ini" DESTINATION "${DST}")
endif()
