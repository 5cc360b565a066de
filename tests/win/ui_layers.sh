#!/bin/sh
# The toolkit and the screens know nothing of the application object: no file under win/ui
# includes win/app.h, nor a header that does.
src=$1
headers=$(cd "$src" && grep -rlF '#include "win/app.h"' --include='*.h' win | tr '\n' '|')
if grep -rnE "#include \"(${headers}win/app\.h)\"" "$src/win/ui"; then
    echo "FAILED: win/ui reaches the application object"
    exit 1
fi
