resfile final.out
echo leaving from the nested file
exit
