# Long text is fetched into 3145729 bytes: a value of exactly 3145728 bytes
# prints whole, a longer one prints its first 3145728 bytes and the mark.
# The results go to a file that the check examines.
connect sqlite
create table big (id integer, t longvarchar);
insert into big values (1, replace(hex(zeroblob(3145728)), '00', 'x'));
insert into big values (2, replace(hex(zeroblob(3145729)), '00', 'y') || 'z');
resfile res.txt
select id, t from big order by id;
resfile
