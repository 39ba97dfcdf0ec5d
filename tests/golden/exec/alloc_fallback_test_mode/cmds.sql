# In test mode the buffer fallback is silent.
connect sqlite
create table z (b nvarchar(-5));
insert into z values ('def');
select b from z;
