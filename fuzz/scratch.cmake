# Empties the folders named in FOLDERS (a list), creating them when missing.
foreach(folder IN LISTS FOLDERS)
    file(REMOVE_RECURSE ${folder})
    file(MAKE_DIRECTORY ${folder})
endforeach()
