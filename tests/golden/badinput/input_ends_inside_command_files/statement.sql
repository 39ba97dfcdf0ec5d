select ename
from emp
