# cmake -DSOURCE=<header> -DDESTINATION=<file> -P StageHeader.cmake: the header as installed, its
# includes of the project's own headers ("runtime/...", "platform/...") turned into
# "vorlune/runtime/...", "vorlune/platform/...".
file(READ "${SOURCE}" text)
string(REGEX REPLACE "#include \"(runtime|platform)/" "#include \"vorlune/\\1/" text "${text}")
file(WRITE "${DESTINATION}" "${text}")
