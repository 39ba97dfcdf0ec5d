resfile nested.out
echo in the nested file
select count(*) as n from emp;
repeat 2
select ename from emp where empno = 1;
end
disconnect
select ename from emp;
