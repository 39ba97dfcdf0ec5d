repeat 2
echo in the block
select ename
