# Puts the files the program reads beside it: the language files, the help pages, the
# control images, and a
# default setting.ini only when there is none yet (the user's choices live in it).
# Run as: cmake -DSRC=<resources> -DDST=<program folder> -P deploy_resources.cmake
file(GLOB languages "${SRC}/languages/*.ini")
file(COPY ${languages} DESTINATION "${DST}/languages")
file(GLOB pages "${SRC}/help/*.html" "${SRC}/help/*.css")
file(COPY ${pages} DESTINATION "${DST}/help")
file(GLOB images "${SRC}/images/*.bmp" "${SRC}/images/*.png" "${SRC}/images/*.ico")
file(COPY ${images} DESTINATION "${DST}/images")
if(NOT EXISTS "${DST}/setting.ini")
  file(COPY "${SRC}/setting.ini" DESTINATION "${DST}")
endif()
