echo first line
﻿echo café each line may carry a mark
echo smile 😀 ends the file here
echo never shown
