repeat 2
echo inside
