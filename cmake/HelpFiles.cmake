# The program's own help files, made at build time beside the executable:
#   help/silent.mp3  one second of silence, used to warm up the encoder at start-up
#   help/sample.avi  a single black frame with silence, put in front of AVI joins so that all
#                    joined clips share one audio and video layout
find_program(FFMPEG_PROGRAM ffmpeg REQUIRED)
set(TRIMORA_HELP_DIR ${CMAKE_BINARY_DIR}/bin/help)
add_custom_command(OUTPUT ${TRIMORA_HELP_DIR}/silent.mp3
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TRIMORA_HELP_DIR}
    COMMAND ${FFMPEG_PROGRAM} -nostdin -loglevel error -y -f lavfi -i anullsrc=r=44100:cl=stereo
            -t 1 -c:a libmp3lame -b:a 64k ${TRIMORA_HELP_DIR}/silent.mp3
    VERBATIM)
add_custom_command(OUTPUT ${TRIMORA_HELP_DIR}/sample.avi
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TRIMORA_HELP_DIR}
    COMMAND ${FFMPEG_PROGRAM} -nostdin -loglevel error -y -f lavfi -i color=c=black:s=320x240:r=25
            -f lavfi -i anullsrc=r=44100:cl=stereo -frames:v 1 -t 0.04 -c:v mpeg4 -q:v 2
            -c:a libmp3lame -b:a 128k ${TRIMORA_HELP_DIR}/sample.avi
    VERBATIM)
add_custom_target(trimora_help_files ALL
    DEPENDS ${TRIMORA_HELP_DIR}/silent.mp3 ${TRIMORA_HELP_DIR}/sample.avi)
