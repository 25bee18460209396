# Writes the settings a new program folder starts with, unless the folder has
# settings already: the user's own settings are never overwritten.
# -DINI=<settings file> -DLIST=<sample song list>
if(EXISTS "${INI}")
    return()
endif()
# The window's design state (every condition row ticked, harmony either way)
# and the sample list as the list source, so the first import just works.
set(crlf "\r\n")
file(WRITE "${INI}"
    "[PickupCond]${crlf}"
    "Cond1=1,${crlf}"
    "Cond2=1,${crlf}"
    "Cond3=1,${crlf}"
    "Hamori=2${crlf}"
    "[CSV]${crlf}"
    "Path=${LIST}${crlf}")
