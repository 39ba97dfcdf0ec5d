-- Sample data of the demo data source "demo" (SQLite), made by scripts/demo.

CREATE TABLE customers (
  id integer PRIMARY KEY,
  name varchar(40) NOT NULL,
  city varchar(30),
  email varchar(60),
  joined date
);
INSERT INTO customers VALUES
  (1, 'Ada Fischer', 'Berlin', 'ada@example.org', '2021-03-14'),
  (2, 'Björn Løvaas', 'Oslo', NULL, '2022-11-02'),
  (3, 'Chloé Martin', 'Lyon', 'chloe@example.org', '2023-06-30'),
  (4, 'Dmitri Ivanov', NULL, 'dmitri@example.org', '2024-01-08');

CREATE TABLE products (
  sku char(8) PRIMARY KEY,
  title varchar(60) NOT NULL,
  price numeric(8,2),
  weight_kg real,
  in_stock boolean,
  picture blob
);
INSERT INTO products VALUES
  ('KB-001', 'Mechanical keyboard', 89.90, 1.15, 1, X'89504E470D0A1A0A'),
  ('MS-002', 'Wireless mouse', 24.50, 0.09, 1, NULL),
  ('MN-003', 'Monitor 27"', 279.00, 5.8, 0, NULL),
  ('CB-004', 'USB-C cable, 2 m', 9.99, 0.05, 1, X'00FF');

CREATE TABLE orders (
  id integer PRIMARY KEY,
  customer_id integer NOT NULL REFERENCES customers (id),
  placed_at timestamp NOT NULL,
  delivery_slot time,
  note text
);
INSERT INTO orders VALUES
  (100, 1, '2024-02-01 09:15:00', '14:00:00', NULL),
  (101, 3, '2024-02-03 18:42:10', '10:30:00', 'Leave at the door'),
  (102, 1, '2024-03-11 07:05:55', NULL, 'Gift wrap, please');

CREATE TABLE order_lines (
  order_id integer NOT NULL REFERENCES orders (id),
  sku char(8) NOT NULL REFERENCES products (sku),
  quantity integer NOT NULL,
  unit_price numeric(8,2) NOT NULL
);
CREATE UNIQUE INDEX order_lines_ux ON order_lines (order_id, sku);
INSERT INTO order_lines VALUES
  (100, 'KB-001', 1, 89.90),
  (100, 'CB-004', 3, 9.99),
  (101, 'MN-003', 2, 279.00),
  (102, 'MS-002', 1, 24.50);

-- A million generated rows, computed as they are read (the file stays small):
-- for trying benchmark mode (-b) and large exports.
CREATE VIEW big AS
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000)
  SELECT i AS id, 'row ' || i AS label, i * 0.01 AS amount FROM n;
