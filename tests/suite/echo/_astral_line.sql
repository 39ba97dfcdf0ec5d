select t from exact_t where t = '😀x';
