-- Full name, description, e-mail and contact details of server accounts, kept
-- beside the server's own account table (MariaDB has no such table itself).
-- InnoDB, so that a cluster replicates it like the store's own tables.
CREATE TABLE IF NOT EXISTS mysql.user_info (
  User                VARCHAR(16) CHARACTER SET utf8mb3 COLLATE utf8mb3_bin NOT NULL,
  Full_name           VARCHAR(60),
  Description         VARCHAR(255),
  Email               VARCHAR(80),
  Contact_information TEXT,
  Icon                BLOB,
  PRIMARY KEY (User),
  KEY Full_name (Full_name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_bin;
