repeat 2
echo one
select 1
from dual;
end;
end
