-- A record's, a type's and a group's add, edit and delete as one call each: a distant server is then
-- asked once instead of once a statement. SQL SECURITY INVOKER: the session's
-- own rights hold, and the tables' triggers and views see its account, as for
-- the statements these stand for. Installed after server/rules.sql.
-- A routine leaves its transaction open and the client commits: a cluster
-- node's conflict at a COMMIT inside a routine may go unreported, at the
-- client's own COMMIT it fails the statement.
--
-- Answers besides the server's own errors (the client tells them apart):
--   45020  the master-password row is no longer the one the client holds
--          (nothing written; the client checks the row itself and tries again)
--   45021  no row changed: a stored identifier, a record gone (nothing written)
--   45022  written, but the event row was refused, 45023 the recent-list row,
--   45024  both: the client commits and writes them again its usual way, which
--          reports why
--   45025  a group's member or sub-group list, or the options' list of
--          types, is not a JSON array (nothing written)
-- check_key 0 leaves the master-password row unchecked (the client holds no key).
-- recent_user: the user whose recently added (or modified) list takes the
-- record, its oldest rows giving way beyond recent_limit; NULL for none.

DELIMITER //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_ADD_RECORD(
  check_key TINYINT, key_row LONGBLOB,
  record_id VARCHAR(16), group_uid VARCHAR(16), type_uid VARCHAR(16),
  f1 LONGBLOB, f2 LONGBLOB, f3 LONGBLOB, f4 LONGBLOB, f5 LONGBLOB,
  f6 LONGBLOB, f7 LONGBLOB, f8 LONGBLOB, f9 LONGBLOB, f10 LONGBLOB, note LONGBLOB,
  has_attachment TINYINT, customised TINYINT, view_count BIGINT,
  type_icon INT, type_mask INT,
  t1 LONGBLOB, t2 LONGBLOB, t3 LONGBLOB, t4 LONGBLOB, t5 LONGBLOB,
  t6 LONGBLOB, t7 LONGBLOB, t8 LONGBLOB, t9 LONGBLOB, t10 LONGBLOB,
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4,
  recent_user VARCHAR(16), recent_limit INT)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE recent_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_BEGIN_WRITE(check_key, key_row);
  INSERT IGNORE INTO RECORDTABLE (RECORDID, GROUPUID, TYPEUID, FIELD1, FIELD2, FIELD3, FIELD4, FIELD5, FIELD6,
                                  FIELD7, FIELD8, FIELD9, FIELD10, NOTE, HASATTACHMENT, HASCUSTOMFIELD, VIEWCOUNT)
    VALUES (record_id, group_uid, type_uid, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, note, has_attachment,
            customised, view_count);
  IF ROW_COUNT() = 0 THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
  END IF;
  IF customised THEN
    REPLACE INTO CUSTOMTYPETABLE VALUES (record_id, type_icon, type_mask, t1, t2, t3, t4, t5, t6, t7, t8, t9, t10);
    IF ROW_COUNT() = 0 THEN
      SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
    END IF;
  END IF;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  IF recent_user IS NOT NULL THEN
    CALL TVX_NOTE_RECENT('ADDED', recent_user, record_id, recent_limit, recent_refused);
  END IF;
  CALL TVX_END_WRITE(log_refused, recent_refused);
END//

-- The rest of an edit whose transaction the client began: it locked the
-- master-password row and the record's rows and compared them with its copy.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REPLACE_RECORD(
  record_id VARCHAR(16), group_uid VARCHAR(16), type_uid VARCHAR(16),
  f1 LONGBLOB, f2 LONGBLOB, f3 LONGBLOB, f4 LONGBLOB, f5 LONGBLOB,
  f6 LONGBLOB, f7 LONGBLOB, f8 LONGBLOB, f9 LONGBLOB, f10 LONGBLOB, note LONGBLOB,
  has_attachment TINYINT, customised TINYINT, write_type TINYINT,
  type_icon INT, type_mask INT,
  t1 LONGBLOB, t2 LONGBLOB, t3 LONGBLOB, t4 LONGBLOB, t5 LONGBLOB,
  t6 LONGBLOB, t7 LONGBLOB, t8 LONGBLOB, t9 LONGBLOB, t10 LONGBLOB,
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4,
  recent_user VARCHAR(16), recent_limit INT)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE recent_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_STILL_IN_TRANSACTION();
  UPDATE RECORDTABLE SET GROUPUID = group_uid, TYPEUID = type_uid, FIELD1 = f1, FIELD2 = f2, FIELD3 = f3,
                         FIELD4 = f4, FIELD5 = f5, FIELD6 = f6, FIELD7 = f7, FIELD8 = f8, FIELD9 = f9,
                         FIELD10 = f10, NOTE = note, HASATTACHMENT = has_attachment, HASCUSTOMFIELD = customised
    WHERE RECORDID = record_id;
  IF write_type THEN
    REPLACE INTO CUSTOMTYPETABLE VALUES (record_id, type_icon, type_mask, t1, t2, t3, t4, t5, t6, t7, t8, t9, t10);
    IF ROW_COUNT() = 0 THEN
      SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
    END IF;
  END IF;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  IF recent_user IS NOT NULL THEN
    CALL TVX_NOTE_RECENT('MODIFIED', recent_user, record_id, recent_limit, recent_refused);
  END IF;
  CALL TVX_END_WRITE(log_refused, recent_refused);
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_DELETE_RECORD(
  check_key TINYINT, key_row LONGBLOB, record_id VARCHAR(16),
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_BEGIN_WRITE(check_key, key_row);
  DELETE FROM RECORDTABLE WHERE RECORDID = record_id;
  IF ROW_COUNT() = 0 THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
  END IF;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

-- A type's add, edit and delete, as a record's.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_ADD_TYPE(
  check_key TINYINT, key_row LONGBLOB, type_uid VARCHAR(16), type_name LONGBLOB, type_icon INT, type_mask INT,
  f1 LONGBLOB, f2 LONGBLOB, f3 LONGBLOB, f4 LONGBLOB, f5 LONGBLOB,
  f6 LONGBLOB, f7 LONGBLOB, f8 LONGBLOB, f9 LONGBLOB, f10 LONGBLOB,
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_BEGIN_WRITE(check_key, key_row);
  INSERT IGNORE INTO TYPETABLE (UID, NAME, ICONID, MASKS, FIELD1, FIELD2, FIELD3, FIELD4, FIELD5, FIELD6, FIELD7,
                                FIELD8, FIELD9, FIELD10)
    VALUES (type_uid, type_name, type_icon, type_mask, f1, f2, f3, f4, f5, f6, f7, f8, f9, f10);
  IF ROW_COUNT() = 0 THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
  END IF;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

-- The rest of a type's edit whose transaction the client began, as a record's.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REPLACE_TYPE(
  type_uid VARCHAR(16), type_name LONGBLOB, type_icon INT, type_mask INT,
  f1 LONGBLOB, f2 LONGBLOB, f3 LONGBLOB, f4 LONGBLOB, f5 LONGBLOB,
  f6 LONGBLOB, f7 LONGBLOB, f8 LONGBLOB, f9 LONGBLOB, f10 LONGBLOB,
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_STILL_IN_TRANSACTION();
  UPDATE TYPETABLE SET NAME = type_name, ICONID = type_icon, MASKS = type_mask, FIELD1 = f1, FIELD2 = f2,
                       FIELD3 = f3, FIELD4 = f4, FIELD5 = f5, FIELD6 = f6, FIELD7 = f7, FIELD8 = f8, FIELD9 = f9,
                       FIELD10 = f10
    WHERE UID = type_uid;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_DELETE_TYPE(
  check_key TINYINT, key_row LONGBLOB, type_uid VARCHAR(16),
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_BEGIN_WRITE(check_key, key_row);
  DELETE FROM TYPETABLE WHERE UID = type_uid;
  IF ROW_COUNT() = 0 THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
  END IF;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

-- A group's delete: its records, members and own sub-group rows go with it
-- by the store's foreign keys, its place in other groups' lists (but the
-- unfiled group's) by hand.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_DELETE_GROUP(
  check_key TINYINT, key_row LONGBLOB, group_uid VARCHAR(16), unfiled_uid VARCHAR(16),
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_BEGIN_WRITE(check_key, key_row);
  DELETE FROM GROUPTABLE WHERE UID = group_uid;
  IF ROW_COUNT() = 0 THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
  END IF;
  DELETE FROM GROUPSUBGROUPTABLE WHERE SUBGROUPID = group_uid AND GROUPID <> unfiled_uid;
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

-- A group's add and the rest of its edit, as a record's. The member and
-- sub-group lists travel as JSON arrays of identifiers and are rewritten
-- whole, as the group sheet writes them (TVX_WRITE_GROUP_LISTS).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_ADD_GROUP(
  check_key TINYINT, key_row LONGBLOB, group_uid VARCHAR(16), group_name LONGBLOB, permissions INT,
  prevails TINYINT, members LONGTEXT CHARACTER SET utf8mb4, sub_groups LONGTEXT CHARACTER SET utf8mb4,
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_BEGIN_WRITE(check_key, key_row);
  INSERT IGNORE INTO GROUPTABLE (NAME, UID, RECORDPERMISSION, GROUPPERMISSIONPREVAILS)
    VALUES (group_name, group_uid, permissions, prevails);
  IF ROW_COUNT() = 0 THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45021, MESSAGE_TEXT = 'No row changed';
  END IF;
  CALL TVX_WRITE_GROUP_LISTS(group_uid, members, sub_groups);
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

-- The rest of a group's edit whose transaction the client began: it locked
-- the master-password row and the group's row and compared them with its copy.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REPLACE_GROUP(
  group_uid VARCHAR(16), group_name LONGBLOB, permissions INT,
  prevails TINYINT, members LONGTEXT CHARACTER SET utf8mb4, sub_groups LONGTEXT CHARACTER SET utf8mb4,
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE log_refused TINYINT DEFAULT 0;
  DECLARE failure INT DEFAULT 0;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- Stored, the side rows aside: the client commits.
    IF failure NOT IN (45022, 45023, 45024) THEN
      ROLLBACK;
    END IF;
    RESIGNAL;
  END;
  CALL TVX_STILL_IN_TRANSACTION();
  UPDATE GROUPTABLE SET NAME = group_name, RECORDPERMISSION = permissions, GROUPPERMISSIONPREVAILS = prevails
    WHERE UID = group_uid;
  CALL TVX_WRITE_GROUP_LISTS(group_uid, members, sub_groups);
  CALL TVX_LOG_WRITE(log_event, log_id, log_description, log_date, log_user, log_computer, log_refused);
  CALL TVX_END_WRITE(log_refused, 0);
END//

-- The options window's OK: the user's column row for each type of
-- column_types (a JSON array of type identifiers, walked as data; empty for
-- none), all with the same columns, then the options' part of the user's
-- preference row, in the order and with the rules the client's own
-- statements meet.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_SAVE_OPTIONS(
  user_id VARCHAR(16), auto_lock TINYINT, font_height INT, font_weight INT, font_italic TINYINT,
  font_name VARCHAR(32) CHARACTER SET utf8mb4, row_color BIGINT, sleep_minutes INT, max_sleep_minutes INT,
  auto_submit TINYINT, clear_on_exit TINYINT, clear_timer INT, column_types LONGTEXT CHARACTER SET utf8mb4,
  c1 BIGINT, c2 BIGINT, c3 BIGINT, c4 BIGINT, c5 BIGINT, c6 BIGINT, c7 BIGINT,
  c8 BIGINT, c9 BIGINT, c10 BIGINT, c11 BIGINT, c12 BIGINT, c13 BIGINT, c14 BIGINT)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    ROLLBACK;
    RESIGNAL;
  END;
  IF NOT IFNULL(JSON_VALID(column_types) AND JSON_TYPE(column_types) = 'ARRAY', 0) THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45025, MESSAGE_TEXT = 'A list is not an array of identifiers';
  END IF;
  CALL TVX_BEGIN_WRITE(0, NULL);
  REPLACE INTO COLUMNINFOTABLE
    SELECT user_id, t.TYPEID, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12, c13, c14
      FROM JSON_TABLE(column_types, '$[*]' COLUMNS (AT FOR ORDINALITY,
                                                   TYPEID VARCHAR(255) CHARACTER SET utf8mb4 PATH '$' ERROR ON EMPTY)) t
      ORDER BY t.AT;
  UPDATE APPPREFTABLE SET AUTOLOCK = auto_lock, FONTHEIGHT = font_height, FONTWEIGHT = font_weight,
                          FONTITALIC = font_italic, FONTNAME = font_name, ROWCOLOR = row_color,
                          SLEEPMINUTES = sleep_minutes, MAXSLEEPMINUTES = max_sleep_minutes,
                          AUTOSUBMIT = auto_submit, CLEARCLIPBOARDONEXIT = clear_on_exit,
                          CLEARCLIPBOARDTIMER = clear_timer
    WHERE USERID = user_id;
  CALL TVX_END_WRITE(0, 0);
END//

-- A group's member and sub-group lists rewritten whole, each cleared and
-- then written a row per identifier in the order given, as the client's own
-- statements do (the member rules see the writer's own row go first). The
-- arrays are walked as data: nothing in them becomes statement text.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_WRITE_GROUP_LISTS(
  group_uid VARCHAR(16), members LONGTEXT CHARACTER SET utf8mb4, sub_groups LONGTEXT CHARACTER SET utf8mb4)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  IF NOT IFNULL(JSON_VALID(members) AND JSON_TYPE(members) = 'ARRAY'
                AND JSON_VALID(sub_groups) AND JSON_TYPE(sub_groups) = 'ARRAY', 0) THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45025, MESSAGE_TEXT = 'A list is not an array of identifiers';
  END IF;
  DELETE FROM USERGROUPTABLE WHERE GROUPID = group_uid;
  INSERT IGNORE INTO USERGROUPTABLE (USERID, GROUPID)
    SELECT m.USERID, group_uid
      FROM JSON_TABLE(members, '$[*]' COLUMNS (AT FOR ORDINALITY,
                                              USERID VARCHAR(255) CHARACTER SET utf8mb4 PATH '$' ERROR ON EMPTY)) m
      ORDER BY m.AT;
  DELETE FROM GROUPSUBGROUPTABLE WHERE GROUPID = group_uid;
  INSERT IGNORE INTO GROUPSUBGROUPTABLE (GROUPID, SUBGROUPID)
    SELECT group_uid, s.SUBGROUPID
      FROM JSON_TABLE(sub_groups, '$[*]' COLUMNS (AT FOR ORDINALITY,
                                                 SUBGROUPID VARCHAR(255) CHARACTER SET utf8mb4 PATH '$' ERROR ON EMPTY)) s
      ORDER BY s.AT;
END//

-- The event row of a write, in its transaction. A refused row does not
-- undo the write (as when the row is stored on its own); a deadlock or a
-- lock wait that ran out undoes both. Only inside the transaction: one the
-- server undid under the routine would leave the row to go in on its own,
-- and the client's retry of the write to log it a second time.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_LOG_WRITE(
  log_event VARCHAR(255) CHARACTER SET utf8mb4, log_id VARCHAR(64) CHARACTER SET utf8mb4,
  log_description TEXT CHARACTER SET utf8mb4, log_date VARCHAR(32) CHARACTER SET utf8mb4,
  log_user VARCHAR(80) CHARACTER SET utf8mb4, log_computer VARCHAR(255) CHARACTER SET utf8mb4,
  OUT refused TINYINT)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE failure INT DEFAULT 0;
  DECLARE CONTINUE HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- A transaction the server undid (a cluster conflict) must not commit what is left.
    IF failure IN (1205, 1213) OR NOT @@in_transaction THEN
      RESIGNAL;
    END IF;
    SET refused = 1;
  END;
  SET refused = 0;
  INSERT IGNORE INTO EVENTLOGGERTABLE
    SELECT log_event, log_id, log_description, log_date, log_user, log_computer FROM DUAL WHERE @@in_transaction;
  IF NOT @@in_transaction THEN
    SIGNAL SQLSTATE '40001' SET MYSQL_ERRNO = 1213, MESSAGE_TEXT = 'Transaction rolled back by the server';
  END IF;
END//

-- A record's row of the user's recently added or modified list, as the
-- client writes it on its own: the user's oldest rows give way until there
-- is room, then the record's row; a record there already stays where it is.
-- A refused row does not undo the write; a deadlock undoes both.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_NOTE_RECENT(
  which VARCHAR(8), recent_user VARCHAR(16), record_id VARCHAR(16), recent_limit INT, OUT refused TINYINT)
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE failure INT DEFAULT 0;
  DECLARE kept INT DEFAULT 0;
  DECLARE CONTINUE HANDLER FOR SQLEXCEPTION
  BEGIN
    GET DIAGNOSTICS CONDITION 1 failure = MYSQL_ERRNO;
    -- A transaction the server undid (a cluster conflict) must not commit what is left.
    IF failure IN (1205, 1213) OR NOT @@in_transaction THEN
      RESIGNAL;
    END IF;
    SET refused = 1;
  END;
  SET refused = 0;
  IF which = 'ADDED' THEN
    SELECT COUNT(*) INTO kept FROM RECENTLYADDEDTABLE WHERE USERID = recent_user;
    WHILE kept >= recent_limit AND refused = 0 DO
      DELETE FROM RECENTLYADDEDTABLE WHERE USERID = recent_user LIMIT 1;
      SET kept = kept - 1;
    END WHILE;
    INSERT IGNORE INTO RECENTLYADDEDTABLE VALUES (recent_user, record_id);
  ELSEIF NOT EXISTS (SELECT 1 FROM RECENTLYMODIFIEDTABLE WHERE USERID = recent_user AND RECORDID = record_id) THEN
    SELECT COUNT(*) INTO kept FROM RECENTLYMODIFIEDTABLE WHERE USERID = recent_user;
    WHILE kept >= recent_limit AND refused = 0 DO
      DELETE FROM RECENTLYMODIFIEDTABLE WHERE USERID = recent_user LIMIT 1;
      SET kept = kept - 1;
    END WHILE;
    INSERT IGNORE INTO RECENTLYMODIFIEDTABLE VALUES (recent_user, record_id);
  END IF;
END//

-- The parts every write above shares. SIGNALs here reach the calling
-- routine's handler, which rolls back, as its own would.
-- A write's beginning: its transaction, and the master-password row compared
-- with the bytes the client holds (check_key 0: unchecked).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_BEGIN_WRITE(check_key TINYINT, key_row LONGBLOB)
SQL SECURITY INVOKER READS SQL DATA
BEGIN
  START TRANSACTION;
  IF check_key AND NOT (TVX_MASTER_PASSWORD(0) <=> key_row) THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45020, MESSAGE_TEXT = 'The master password was changed';
  END IF;
END//

-- A transaction the server undid meanwhile (a cluster node's conflict)
-- would leave what follows to commit statement by statement, unchecked.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_STILL_IN_TRANSACTION()
SQL SECURITY INVOKER NO SQL
BEGIN
  IF NOT @@in_transaction THEN
    SIGNAL SQLSTATE '40001' SET MYSQL_ERRNO = 1213, MESSAGE_TEXT = 'Transaction rolled back by the server';
  END IF;
END//

-- A write's end. A cluster node may undo the transaction under a routine's
-- statement without failing it; what followed then went in on its own.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_END_WRITE(log_refused TINYINT,
                                                                             recent_refused TINYINT)
SQL SECURITY INVOKER NO SQL
BEGIN
  CALL TVX_STILL_IN_TRANSACTION();
  CALL TVX_REPORT_REFUSED_ROWS(log_refused, recent_refused);
END//

-- Last: which of a write's side rows were refused (the client then commits).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REPORT_REFUSED_ROWS(log_refused TINYINT,
                                                                                       recent_refused TINYINT)
SQL SECURITY INVOKER NO SQL
BEGIN
  IF log_refused AND recent_refused THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45024, MESSAGE_TEXT = 'Stored; the event and recent-list rows were refused';
  ELSEIF log_refused THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45022, MESSAGE_TEXT = 'Stored; the event row was refused';
  ELSEIF recent_refused THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45023, MESSAGE_TEXT = 'Stored; the recent-list row was refused';
  END IF;
END//

DELIMITER ;
