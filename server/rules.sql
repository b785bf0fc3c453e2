-- The store's write rules, held by the server: the permission bits and group
-- membership the client checks, for every connection, and the links between
-- rows whatever the session's FOREIGN_KEY_CHECKS says. BEFORE triggers call
-- the functions below; a refused row ends the statement with SQLSTATE 45000,
-- error 45001 and the fixed text below, a broken link with the foreign-key
-- error 1452. "tvx-create-store --create" and "--upgrade-schema" install this
-- (a rerun replaces it). Statements end at the current delimiter, as in the
-- mariadb client.
--
-- Everything here runs as the store routines' locked account
-- (server/routines.sql), which also names the session's account. Store
-- administrators, and server accounts that hold no rights on the store's
-- tables of their own (the store tool's), are not held to the bits.
-- Group uid 0000000000000000 is the unfiled group, open to everyone; a user's
-- personal group has the user's USERID as its uid.

-- Sessions that may go on writing a group's member and sub-group lists:
-- the one that made the group, or one that was let in to rewrite them (the
-- group sheet deletes the whole list, its writer's row included, before it
-- writes the new one). A session is a connection of one node; another
-- session's write of the lists ends the rest's. No store account reads or
-- writes it but through the rules below.
CREATE TABLE IF NOT EXISTS TVXLISTWRITERTABLE (
  GROUPID  VARCHAR(16) NOT NULL,
  SESSION  VARCHAR(300) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  PRIMARY KEY (GROUPID, SESSION)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- The master password's row as last committed, which a save locks for
-- sharing and a master-password change for itself (TVX_MASTER_PASSWORD): no
-- store account may read or lock it otherwise, so a lock held by a reader of
-- DATABASEINFOTABLE holds up no save. VALUE is NULL while the store has no
-- master-password row. Kept by the triggers on DATABASEINFOTABLE below.
CREATE TABLE IF NOT EXISTS TVXMASTERPASSWORDTABLE (
  NAME  VARCHAR(64) NOT NULL,
  VALUE BLOB,
  PRIMARY KEY (NAME)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
REPLACE INTO TVXMASTERPASSWORDTABLE (NAME, VALUE)
SELECT 'DBPASSWORD', (SELECT VALUE FROM DATABASEINFOTABLE WHERE NAME = 'DBPASSWORD');

-- What the rules read of the groups, types and member rows, kept by the
-- triggers below, and the targets of the foreign keys that name a group or
-- a type (the user keys, TVXUSERKEYS, are server/routines.sql's). Every
-- account reads and may lock the rows of GROUPTABLE, TYPETABLE and
-- USERGROUPTABLE; no store account may read or lock these, so that such a
-- lock holds up no other account's save. A key's delete or new uid goes on
-- to the rows that name it by the foreign keys' cascade, as the row's did.
CREATE TABLE IF NOT EXISTS TVXGROUPKEYS (
  UID                     VARCHAR(16) NOT NULL,
  RECORDPERMISSION        INT NOT NULL DEFAULT 0,
  GROUPPERMISSIONPREVAILS BOOL NOT NULL DEFAULT 0,
  PRIMARY KEY (UID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE TABLE IF NOT EXISTS TVXTYPEKEYS (
  UID VARCHAR(16) NOT NULL,
  PRIMARY KEY (UID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE TABLE IF NOT EXISTS TVXMEMBERKEYS (
  GROUPID VARCHAR(16) NOT NULL,
  USERID  VARCHAR(16) NOT NULL,
  PRIMARY KEY (GROUPID, USERID),
  KEY MEMBER_USER (USERID),
  CONSTRAINT MEMBERKEY_GROUP_FK FOREIGN KEY (GROUPID) REFERENCES TVXGROUPKEYS (UID)
    ON DELETE CASCADE ON UPDATE CASCADE,
  CONSTRAINT MEMBERKEY_USER_FK FOREIGN KEY (USERID) REFERENCES TVXUSERKEYS (USERID)
    ON DELETE CASCADE ON UPDATE CASCADE
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

DELIMITER //

-- 1 when the session is not held to the bits: a store administrator (as
-- STOREACCOUNTTABLE records it, see TVX_IS_ADMIN), or a server account without
-- a user row and without rights on the store's tables of its own (the store
-- tool's). A store account whose user row is gone is held to them, and may
-- change nothing. Rights are read from information_schema, not from the mysql
-- tables: those would join the session's transaction, whose savepoints they refuse.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_UNRULED()
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  -- information_schema names an account 'name'@'host'; names compare exactly.
  DECLARE account VARCHAR(200) DEFAULT CONCAT('''', SUBSTRING_INDEX(USER(), '@', 1), '''');
  IF TVX_SESSION_USERID() IS NOT NULL THEN
    -- A disabled administrator writes nothing either.
    RETURN TVX_IS_ADMIN() AND TVX_ACTIVE_USERID() IS NOT NULL;
  END IF;
  RETURN NOT EXISTS (SELECT 1 FROM information_schema.TABLE_PRIVILEGES
                     WHERE TABLE_SCHEMA = 'tolvanexdb' AND BINARY SUBSTRING_INDEX(GRANTEE, '@', 1) = BINARY account)
         AND NOT EXISTS (SELECT 1 FROM information_schema.SCHEMA_PRIVILEGES
                         WHERE TABLE_SCHEMA = 'tolvanexdb' AND BINARY SUBSTRING_INDEX(GRANTEE, '@', 1) = BINARY account);
END //

-- A group's record word for a user: the group's word when the group's
-- permissions prevail, else the user's own (storerules::recordPermissionsInGroup).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_RECORD_WORD(group_word INT, group_prevails BOOL, user_word INT)
RETURNS INT
DETERMINISTIC NO SQL
RETURN IF(group_prevails, group_word, user_word) //

-- A user's group or type word allows a change when it holds one of the bits
-- (storerules::userWordAllows).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_WORD_ALLOWS(word INT, bits INT)
RETURNS TINYINT
DETERMINISTIC NO SQL
RETURN IFNULL(word & bits, 0) <> 0 //

-- 1 for the server account the store tool runs as: no user row, no rights
-- on the store's tables of its own.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_IS_TOOL()
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN TVX_SESSION_USERID() IS NULL AND TVX_UNRULED() //

-- A group whose uid is a user's USERID is that user's personal group.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_IS_PERSONAL_GROUP(group_uid VARCHAR(16))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN EXISTS (SELECT 1 FROM TVXUSERKEYS WHERE USERID = group_uid) //

-- The session sees the group's records: its account is a member, the group is
-- its personal group or the unfiled group. A disabled account sees none.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_SEES_GROUP(group_uid VARCHAR(16))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE me VARCHAR(16) DEFAULT TVX_ACTIVE_USERID();
  RETURN (me IS NOT NULL AND (group_uid = me OR group_uid = '0000000000000000'
          OR EXISTS (SELECT 1 FROM TVXMEMBERKEYS WHERE GROUPID = group_uid AND USERID = me)))
         OR TVX_UNRULED();
END //

-- The session may change a record of the group with one of the bits (1 add and
-- duplicate, 2 edit, 4 delete) in the record word. The session's own rights
-- are asked first: one indexed lookup per row on an import's path.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_MAY_RECORD(group_uid VARCHAR(16), bits INT)
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE me VARCHAR(16) DEFAULT TVX_SESSION_USERID();
  IF me IS NOT NULL AND IFNULL((SELECT TVX_RECORD_WORD(g.RECORDPERMISSION, g.GROUPPERMISSIONPREVAILS, u.RECORDPERMISSION) & bits
                                FROM TVXGROUPKEYS g JOIN TVXUSERKEYS u ON u.USERID = me AND NOT u.ISACCOUNTDISABLED
                                WHERE g.UID = group_uid
                                  AND (group_uid = me OR group_uid = '0000000000000000'
                                       OR EXISTS (SELECT 1 FROM TVXMEMBERKEYS m
                                                  WHERE m.GROUPID = group_uid AND m.USERID = me))), 0) <> 0 THEN
    RETURN 1;
  END IF;
  RETURN TVX_UNRULED();
END //

-- The session's group word (GROUPPERMISSION) or type word (TYPEPERMISSION)
-- allows the change.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_MAY_GROUP(bits INT)
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  -- Asked once: in the condition it would be asked for every user row.
  DECLARE me VARCHAR(16) CHARACTER SET utf8mb4 DEFAULT TVX_ACTIVE_USERID();
  RETURN TVX_WORD_ALLOWS((SELECT GROUPPERMISSION FROM TVXUSERKEYS WHERE USERID = me), bits) OR TVX_UNRULED();
END //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_MAY_TYPE(bits INT)
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE me VARCHAR(16) CHARACTER SET utf8mb4 DEFAULT TVX_ACTIVE_USERID();
  RETURN TVX_WORD_ALLOWS((SELECT TYPEPERMISSION FROM TVXUSERKEYS WHERE USERID = me), bits) OR TVX_UNRULED();
END //

-- The session's own personal group (its uid is the user's USERID).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_IS_OWN_GROUP(group_uid VARCHAR(16))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN IFNULL(group_uid = TVX_ACTIVE_USERID(), 0) //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REFUSE()
SQL SECURITY DEFINER NO SQL
SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45001, MESSAGE_TEXT = 'You don''t have sufficient access permissions.' //

-- A row that others still name: as the foreign keys answer.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REFUSE_PARENT(what VARCHAR(64))
SQL SECURITY DEFINER NO SQL
BEGIN
  DECLARE text VARCHAR(128) DEFAULT CONCAT('Cannot delete or update a parent row: ', what, ' still name it');
  SIGNAL SQLSTATE '23000' SET MYSQL_ERRNO = 1451, MESSAGE_TEXT = text;
END //

-- As the foreign keys would answer, were they checked.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_REFUSE_LINK(what VARCHAR(64))
SQL SECURITY DEFINER NO SQL
BEGIN
  DECLARE text VARCHAR(128) DEFAULT CONCAT('Cannot add or update a row: its ', what, ' does not exist');
  SIGNAL SQLSTATE '23000' SET MYSQL_ERRNO = 1452, MESSAGE_TEXT = text;
END //

-- A record row's checks, in the order an import's rows take them: its type
-- exists; the session's own rights in the group (which also show that the
-- group exists); only when those fail, the group's existence and whether the
-- session is held to the bits at all. The session's USERID is asked once: in
-- the join's condition it would be asked for every user row, for each row.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_RECORD(group_uid VARCHAR(16), type_uid VARCHAR(16), bits INT)
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE me VARCHAR(16) CHARACTER SET utf8mb4 DEFAULT TVX_SESSION_USERID();
  IF type_uid IS NOT NULL AND NOT EXISTS (SELECT 1 FROM TVXTYPEKEYS WHERE UID = type_uid) THEN
    CALL TVX_REFUSE_LINK('type');
  END IF;
  IF IFNULL((SELECT TVX_RECORD_WORD(g.RECORDPERMISSION, g.GROUPPERMISSIONPREVAILS, u.RECORDPERMISSION) & bits
             FROM TVXUSERKEYS u JOIN TVXGROUPKEYS g ON g.UID = group_uid
             WHERE u.USERID = me AND NOT u.ISACCOUNTDISABLED
               AND (group_uid = u.USERID OR group_uid = '0000000000000000'
                    OR EXISTS (SELECT 1 FROM TVXMEMBERKEYS m WHERE m.GROUPID = group_uid AND m.USERID = u.USERID))),
            0) = 0 THEN
    IF NOT EXISTS (SELECT 1 FROM TVXGROUPKEYS WHERE UID = group_uid) THEN CALL TVX_REFUSE_LINK('group'); END IF;
    IF NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
  END IF;
END //

-- Records: their group and type exist; add, edit, delete by the record word.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECORD_INSERT BEFORE INSERT ON RECORDROWS FOR EACH ROW
CALL TVX_CHECK_RECORD(NEW.GROUPUID, NEW.TYPEUID, 1) //

-- A view count alone is anyone's who sees the record; a record moved to
-- another group needs the add bit there (the client's move offers only such
-- groups); any other change the edit bit.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECORD_UPDATE BEFORE UPDATE ON RECORDROWS FOR EACH ROW
BEGIN
  IF NEW.GROUPUID <> OLD.GROUPUID AND NOT EXISTS (SELECT 1 FROM TVXGROUPKEYS WHERE UID = NEW.GROUPUID) THEN
    CALL TVX_REFUSE_LINK('group');
  END IF;
  IF NEW.TYPEUID <> OLD.TYPEUID AND NOT EXISTS (SELECT 1 FROM TVXTYPEKEYS WHERE UID = NEW.TYPEUID) THEN
    CALL TVX_REFUSE_LINK('type');
  END IF;
  IF NEW.RECORDID <> OLD.RECORDID THEN
    IF NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
  ELSEIF NEW.GROUPUID <> OLD.GROUPUID THEN
    IF NOT (TVX_SEES_GROUP(OLD.GROUPUID) AND TVX_MAY_RECORD(NEW.GROUPUID, 1)) THEN CALL TVX_REFUSE(); END IF;
  ELSEIF NEW.TYPEUID <=> OLD.TYPEUID AND NEW.FIELD1 <=> OLD.FIELD1 AND NEW.FIELD2 <=> OLD.FIELD2
         AND NEW.FIELD3 <=> OLD.FIELD3 AND NEW.FIELD4 <=> OLD.FIELD4 AND NEW.FIELD5 <=> OLD.FIELD5
         AND NEW.FIELD6 <=> OLD.FIELD6 AND NEW.FIELD7 <=> OLD.FIELD7 AND NEW.FIELD8 <=> OLD.FIELD8
         AND NEW.FIELD9 <=> OLD.FIELD9 AND NEW.FIELD10 <=> OLD.FIELD10 AND NEW.NOTE <=> OLD.NOTE
         AND NEW.HASATTACHMENT <=> OLD.HASATTACHMENT AND NEW.HASCUSTOMFIELD <=> OLD.HASCUSTOMFIELD THEN
    IF NOT TVX_SEES_GROUP(OLD.GROUPUID) THEN CALL TVX_REFUSE(); END IF;
  ELSEIF NOT TVX_MAY_RECORD(OLD.GROUPUID, 2) THEN
    CALL TVX_REFUSE();
  END IF;
END //

-- Without the foreign keys' cascade a deleted record's parts would stay behind
-- without their record.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECORD_DELETE BEFORE DELETE ON RECORDROWS FOR EACH ROW
BEGIN
  IF NOT TVX_MAY_RECORD(OLD.GROUPUID, 4) THEN CALL TVX_REFUSE(); END IF;
  IF @@foreign_key_checks = 0
     AND (EXISTS (SELECT 1 FROM ATTACHMENTROWS WHERE RECORDID = OLD.RECORDID)
          OR EXISTS (SELECT 1 FROM CUSTOMTYPEROWS WHERE RECORDID = OLD.RECORDID)
          OR EXISTS (SELECT 1 FROM MOSTVIEWEDROWS WHERE RECORDID = OLD.RECORDID)
          OR EXISTS (SELECT 1 FROM RECENTLYVIEWEDROWS WHERE RECORDID = OLD.RECORDID)
          OR EXISTS (SELECT 1 FROM RECENTLYMODIFIEDROWS WHERE RECORDID = OLD.RECORDID)
          OR EXISTS (SELECT 1 FROM RECENTLYADDEDROWS WHERE RECORDID = OLD.RECORDID)) THEN
    CALL TVX_REFUSE_PARENT('its attachment, custom fields or recent-list entries');
  END IF;
END //

-- A record's attachment and custom field set: written with its add or edit
-- bit (a new record's or an edited one's), removed with edit or delete.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_RECORD_PART(record_id VARCHAR(16), bits INT, linked BOOL)
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE group_uid VARCHAR(16);
  SET group_uid = (SELECT GROUPUID FROM RECORDROWS WHERE RECORDID = record_id);
  IF group_uid IS NULL THEN
    IF linked THEN CALL TVX_REFUSE_LINK('record'); END IF;
    IF NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
  ELSEIF NOT TVX_MAY_RECORD(group_uid, bits) THEN
    CALL TVX_REFUSE();
  END IF;
END //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_ATTACHMENT_INSERT BEFORE INSERT ON ATTACHMENTROWS FOR EACH ROW
CALL TVX_CHECK_RECORD_PART(NEW.RECORDID, 3, 1) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_ATTACHMENT_UPDATE BEFORE UPDATE ON ATTACHMENTROWS FOR EACH ROW
BEGIN
  CALL TVX_CHECK_RECORD_PART(OLD.RECORDID, 3, 0);
  IF NEW.RECORDID <> OLD.RECORDID THEN CALL TVX_CHECK_RECORD_PART(NEW.RECORDID, 3, 1); END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_ATTACHMENT_DELETE BEFORE DELETE ON ATTACHMENTROWS FOR EACH ROW
CALL TVX_CHECK_RECORD_PART(OLD.RECORDID, 6, 0) //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_CUSTOMTYPE_INSERT BEFORE INSERT ON CUSTOMTYPEROWS FOR EACH ROW
CALL TVX_CHECK_RECORD_PART(NEW.RECORDID, 3, 1) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_CUSTOMTYPE_UPDATE BEFORE UPDATE ON CUSTOMTYPEROWS FOR EACH ROW
BEGIN
  CALL TVX_CHECK_RECORD_PART(OLD.RECORDID, 3, 0);
  IF NEW.RECORDID <> OLD.RECORDID THEN CALL TVX_CHECK_RECORD_PART(NEW.RECORDID, 3, 1); END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_CUSTOMTYPE_DELETE BEFORE DELETE ON CUSTOMTYPEROWS FOR EACH ROW
CALL TVX_CHECK_RECORD_PART(OLD.RECORDID, 6, 0) //

-- The session goes on writing the group's lists; no other session does.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_MARK_LIST_WRITER(group_uid VARCHAR(16))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  DECLARE session_key VARCHAR(300) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin
    DEFAULT CONCAT(@@hostname, ':', @@port, ':', CONNECTION_ID(), ':', SUBSTRING_INDEX(USER(), '@', 1));
  DELETE FROM TVXLISTWRITERTABLE WHERE GROUPID = group_uid AND SESSION <> session_key;
  IF NOT TVX_UNRULED() THEN
    INSERT IGNORE INTO TVXLISTWRITERTABLE (GROUPID, SESSION) VALUES (group_uid, session_key);
  END IF;
END //

-- The session may write the group's member and sub-group lists: an
-- administrator; the owner of a personal group, for its own row only; else
-- an account with the group bits (add or edit) that belongs to the group or
-- made it or was let in to its lists in this session. A personal group has
-- its owner as its only member, and only its owner writes its lists.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_LIST_WRITE(group_uid VARCHAR(16), user_id VARCHAR(16))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  DECLARE session_key VARCHAR(300) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin
    DEFAULT CONCAT(@@hostname, ':', @@port, ':', CONNECTION_ID(), ':', SUBSTRING_INDEX(USER(), '@', 1));
  IF TVX_IS_PERSONAL_GROUP(group_uid) THEN
    IF NOT (TVX_UNRULED() OR TVX_IS_OWN_GROUP(group_uid)) OR NOT IFNULL(user_id = group_uid, user_id IS NULL) THEN
      CALL TVX_REFUSE();
    END IF;
  ELSEIF NOT TVX_UNRULED() THEN
    IF NOT TVX_MAY_GROUP(3)
       OR NOT (TVX_SEES_GROUP(group_uid)
               OR EXISTS (SELECT 1 FROM TVXLISTWRITERTABLE WHERE GROUPID = group_uid AND SESSION = session_key)) THEN
      CALL TVX_REFUSE();
    END IF;
  END IF;
  CALL TVX_MARK_LIST_WRITER(group_uid);
END //

-- The session belongs to the group: it sees its records (a member, its own
-- personal group, the unfiled group), or it made the group in this session.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_BELONGS_TO(group_uid VARCHAR(16))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN TVX_SEES_GROUP(group_uid)
       OR EXISTS (SELECT 1 FROM TVXLISTWRITERTABLE
                  WHERE GROUPID = group_uid
                    AND SESSION = CONCAT(@@hostname, ':', @@port, ':', CONNECTION_ID(), ':', SUBSTRING_INDEX(USER(), '@', 1))) //

-- Groups by the session's group word, and only those it belongs to; a
-- personal group is made, renamed and deleted by its owner or an
-- administrator, and its permission word is fixed.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_GROUP_INSERT BEFORE INSERT ON GROUPTABLE FOR EACH ROW
BEGIN
  IF TVX_IS_PERSONAL_GROUP(NEW.UID) THEN
    IF NOT (TVX_IS_OWN_GROUP(NEW.UID) OR TVX_UNRULED()) THEN CALL TVX_REFUSE(); END IF;
  ELSEIF NOT TVX_MAY_GROUP(1) THEN
    CALL TVX_REFUSE();
  ELSEIF NOT TVX_UNRULED() THEN
    -- Its maker writes its first lists in the same session.
    CALL TVX_MARK_LIST_WRITER(NEW.UID);
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_GROUP_UPDATE BEFORE UPDATE ON GROUPTABLE FOR EACH ROW
BEGIN
  IF NEW.UID <> OLD.UID THEN
    IF NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
  ELSEIF TVX_IS_PERSONAL_GROUP(OLD.UID) THEN
    IF NOT (TVX_IS_OWN_GROUP(OLD.UID) OR TVX_UNRULED())
       OR (NOT (NEW.RECORDPERMISSION <=> OLD.RECORDPERMISSION
                AND NEW.GROUPPERMISSIONPREVAILS <=> OLD.GROUPPERMISSIONPREVAILS) AND NOT TVX_IS_TOOL()) THEN
      CALL TVX_REFUSE();
    END IF;
  ELSEIF NOT TVX_UNRULED() AND NOT (TVX_MAY_GROUP(2) AND TVX_BELONGS_TO(OLD.UID)) THEN
    CALL TVX_REFUSE();
  END IF;
END //
-- A group's records go with it by the foreign key's cascade, which no rule
-- sees: the delete is refused while it holds records the session could not
-- delete one by one, and while anything names it without the foreign keys.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_GROUP_DELETE BEFORE DELETE ON GROUPTABLE FOR EACH ROW
BEGIN
  IF TVX_IS_PERSONAL_GROUP(OLD.UID) THEN
    IF NOT (TVX_IS_OWN_GROUP(OLD.UID) OR TVX_UNRULED()) THEN CALL TVX_REFUSE(); END IF;
  ELSEIF NOT TVX_UNRULED() AND NOT (TVX_MAY_GROUP(4) AND TVX_BELONGS_TO(OLD.UID)) THEN
    CALL TVX_REFUSE();
  END IF;
  IF EXISTS (SELECT 1 FROM RECORDROWS WHERE GROUPUID = OLD.UID) THEN
    IF @@foreign_key_checks = 0 THEN CALL TVX_REFUSE_PARENT('records'); END IF;
    IF NOT TVX_MAY_RECORD(OLD.UID, 4) THEN CALL TVX_REFUSE(); END IF;
  END IF;
  IF @@foreign_key_checks = 0
     AND (EXISTS (SELECT 1 FROM TVXMEMBERKEYS WHERE GROUPID = OLD.UID)
          OR EXISTS (SELECT 1 FROM GROUPSUBGROUPTABLE WHERE GROUPID = OLD.UID)) THEN
    CALL TVX_REFUSE_PARENT('member or sub-group rows');
  END IF;
  DELETE FROM TVXLISTWRITERTABLE WHERE GROUPID = OLD.UID;
END //

-- Types by the session's type word.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_TYPE_INSERT BEFORE INSERT ON TYPETABLE FOR EACH ROW
BEGIN
  IF NOT TVX_MAY_TYPE(1) THEN CALL TVX_REFUSE(); END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_TYPE_UPDATE BEFORE UPDATE ON TYPETABLE FOR EACH ROW
BEGIN
  IF NOT (IF(NEW.UID = OLD.UID, TVX_MAY_TYPE(2), TVX_UNRULED())) THEN CALL TVX_REFUSE(); END IF;
END //
-- A type's records go with it by the cascade, whatever their group: refused
-- while the session could not delete one of them itself.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_TYPE_DELETE BEFORE DELETE ON TYPETABLE FOR EACH ROW
BEGIN
  IF NOT TVX_MAY_TYPE(4) THEN CALL TVX_REFUSE(); END IF;
  IF EXISTS (SELECT 1 FROM RECORDROWS WHERE TYPEUID = OLD.UID) THEN
    IF @@foreign_key_checks = 0 THEN CALL TVX_REFUSE_PARENT('records'); END IF;
    IF EXISTS (SELECT 1 FROM (SELECT DISTINCT GROUPUID FROM RECORDROWS WHERE TYPEUID = OLD.UID) g
               WHERE NOT TVX_MAY_RECORD(g.GROUPUID, 4)) THEN
      CALL TVX_REFUSE();
    END IF;
  END IF;
END //

-- Member lists: the group sheet rewrites them whole, for a new group (add)
-- or an edited one (edit), of a group its writer belongs to. Leaving a
-- group is the user's own affair.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_MEMBER_ROW(group_uid VARCHAR(16), user_id VARCHAR(16))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  IF NOT EXISTS (SELECT 1 FROM TVXGROUPKEYS WHERE UID = group_uid) THEN CALL TVX_REFUSE_LINK('group'); END IF;
  IF NOT EXISTS (SELECT 1 FROM TVXUSERKEYS WHERE USERID = user_id) THEN CALL TVX_REFUSE_LINK('user'); END IF;
  CALL TVX_CHECK_LIST_WRITE(group_uid, user_id);
END //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MEMBER_INSERT BEFORE INSERT ON USERGROUPTABLE FOR EACH ROW
CALL TVX_CHECK_MEMBER_ROW(NEW.GROUPID, NEW.USERID) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MEMBER_UPDATE BEFORE UPDATE ON USERGROUPTABLE FOR EACH ROW
BEGIN
  CALL TVX_CHECK_LIST_WRITE(OLD.GROUPID, OLD.USERID);
  CALL TVX_CHECK_MEMBER_ROW(NEW.GROUPID, NEW.USERID);
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MEMBER_DELETE BEFORE DELETE ON USERGROUPTABLE FOR EACH ROW
BEGIN
  -- A writer of the lists goes on writing them after its own row is gone.
  IF NOT (IFNULL(OLD.USERID = TVX_ACTIVE_USERID(), 0) AND NOT TVX_IS_PERSONAL_GROUP(OLD.GROUPID)
          AND NOT TVX_MAY_GROUP(3)) THEN
    CALL TVX_CHECK_LIST_WRITE(OLD.GROUPID, OLD.USERID);
  END IF;
END //

-- Sub-group lists as member lists; a reference to a deleted group may go
-- with the group delete bit.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_SUBGROUP_ROW(group_uid VARCHAR(16))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  IF NOT EXISTS (SELECT 1 FROM TVXGROUPKEYS WHERE UID = group_uid) THEN CALL TVX_REFUSE_LINK('group'); END IF;
  CALL TVX_CHECK_LIST_WRITE(group_uid, NULL);
END //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_SUBGROUP_INSERT BEFORE INSERT ON GROUPSUBGROUPTABLE FOR EACH ROW
CALL TVX_CHECK_SUBGROUP_ROW(NEW.GROUPID) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_SUBGROUP_UPDATE BEFORE UPDATE ON GROUPSUBGROUPTABLE FOR EACH ROW
BEGIN
  CALL TVX_CHECK_LIST_WRITE(OLD.GROUPID, NULL);
  CALL TVX_CHECK_SUBGROUP_ROW(NEW.GROUPID);
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_SUBGROUP_DELETE BEFORE DELETE ON GROUPSUBGROUPTABLE FOR EACH ROW
BEGIN
  IF NOT (NOT EXISTS (SELECT 1 FROM TVXGROUPKEYS WHERE UID = OLD.SUBGROUPID) AND TVX_MAY_GROUP(4)) THEN
    CALL TVX_CHECK_LIST_WRITE(OLD.GROUPID, NULL);
  END IF;
END //

-- The event log and the recent lists number their rows themselves: a key
-- chosen by a writer could use up the numbering or probe for others' rows.
-- An entry names the session's own account.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_ROW_KEY(row_key BIGINT UNSIGNED)
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  IF IFNULL(row_key, 0) <> 0 AND NOT TVX_IS_TOOL() THEN CALL TVX_REFUSE(); END IF;
END //

-- The row's own columns first and the store tool last: a row of an import's
-- log asks only whether the account is active.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_EVENT_INSERT BEFORE INSERT ON EVENTLOGGERTABLE FOR EACH ROW
BEGIN
  IF (IFNULL(NEW.ROWKEY, 0) <> 0 OR NOT IFNULL(BINARY NEW.USERNAME = BINARY SUBSTRING_INDEX(USER(), '@', 1), 0)
      OR TVX_ACTIVE_USERID() IS NULL)
     AND NOT TVX_IS_TOOL() THEN
    CALL TVX_REFUSE();
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_EVENT_UPDATE BEFORE UPDATE ON EVENTLOGGERTABLE FOR EACH ROW
BEGIN
  IF NEW.ROWKEY <> OLD.ROWKEY AND NOT TVX_IS_TOOL() THEN CALL TVX_REFUSE(); END IF;
END //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MOSTVIEWED_KEY BEFORE INSERT ON MOSTVIEWEDROWS FOR EACH ROW
FOLLOWS TVX_MOSTVIEWEDTABLE_INSERT CALL TVX_CHECK_ROW_KEY(NEW.ROWKEY) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYVIEWED_KEY BEFORE INSERT ON RECENTLYVIEWEDROWS FOR EACH ROW
FOLLOWS TVX_RECENTLYVIEWEDTABLE_INSERT CALL TVX_CHECK_ROW_KEY(NEW.ROWKEY) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYMODIFIED_KEY BEFORE INSERT ON RECENTLYMODIFIEDROWS FOR EACH ROW
FOLLOWS TVX_RECENTLYMODIFIEDTABLE_INSERT CALL TVX_CHECK_ROW_KEY(NEW.ROWKEY) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYADDED_KEY BEFORE INSERT ON RECENTLYADDEDROWS FOR EACH ROW
FOLLOWS TVX_RECENTLYADDEDTABLE_INSERT CALL TVX_CHECK_ROW_KEY(NEW.ROWKEY) //

-- Custom icons: a disabled account writes none.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_ICON_INSERT BEFORE INSERT ON CUSTOMICONTABLE FOR EACH ROW
BEGIN
  IF TVX_ACTIVE_USERID() IS NULL AND NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_ICON_DELETE BEFORE DELETE ON CUSTOMICONTABLE FOR EACH ROW
BEGIN
  IF TVX_ACTIVE_USERID() IS NULL AND NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
END //

-- The copy of the master password's row follows the row.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_INFO_INSERT AFTER INSERT ON DATABASEINFOTABLE FOR EACH ROW
BEGIN
  IF NEW.NAME = 'DBPASSWORD' THEN
    UPDATE TVXMASTERPASSWORDTABLE SET VALUE = NEW.VALUE WHERE NAME = 'DBPASSWORD';
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_INFO_UPDATE AFTER UPDATE ON DATABASEINFOTABLE FOR EACH ROW
BEGIN
  IF NEW.NAME = 'DBPASSWORD' THEN
    UPDATE TVXMASTERPASSWORDTABLE SET VALUE = NEW.VALUE WHERE NAME = 'DBPASSWORD';
  ELSEIF OLD.NAME = 'DBPASSWORD' THEN
    UPDATE TVXMASTERPASSWORDTABLE SET VALUE = NULL WHERE NAME = 'DBPASSWORD';
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_INFO_DELETE AFTER DELETE ON DATABASEINFOTABLE FOR EACH ROW
BEGIN
  IF OLD.NAME = 'DBPASSWORD' THEN
    UPDATE TVXMASTERPASSWORDTABLE SET VALUE = NULL WHERE NAME = 'DBPASSWORD';
  END IF;
END //

-- The group, type and member keys follow their rows; a change that touches
-- no key column (a rename) leaves the key unlocked.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_GROUP_KEY_INSERT AFTER INSERT ON GROUPTABLE FOR EACH ROW
INSERT INTO TVXGROUPKEYS (UID, RECORDPERMISSION, GROUPPERMISSIONPREVAILS)
VALUES (NEW.UID, NEW.RECORDPERMISSION, NEW.GROUPPERMISSIONPREVAILS)
ON DUPLICATE KEY UPDATE RECORDPERMISSION = VALUES(RECORDPERMISSION),
                        GROUPPERMISSIONPREVAILS = VALUES(GROUPPERMISSIONPREVAILS) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_GROUP_KEY_UPDATE AFTER UPDATE ON GROUPTABLE FOR EACH ROW
BEGIN
  IF NOT (BINARY NEW.UID <=> BINARY OLD.UID AND NEW.RECORDPERMISSION <=> OLD.RECORDPERMISSION
          AND NEW.GROUPPERMISSIONPREVAILS <=> OLD.GROUPPERMISSIONPREVAILS) THEN
    UPDATE TVXGROUPKEYS SET UID = NEW.UID, RECORDPERMISSION = NEW.RECORDPERMISSION,
                            GROUPPERMISSIONPREVAILS = NEW.GROUPPERMISSIONPREVAILS
      WHERE UID = OLD.UID;
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_GROUP_KEY_DELETE AFTER DELETE ON GROUPTABLE FOR EACH ROW
DELETE FROM TVXGROUPKEYS WHERE UID = OLD.UID //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_TYPE_KEY_INSERT AFTER INSERT ON TYPETABLE FOR EACH ROW
INSERT IGNORE INTO TVXTYPEKEYS (UID) VALUES (NEW.UID) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_TYPE_KEY_UPDATE AFTER UPDATE ON TYPETABLE FOR EACH ROW
BEGIN
  IF NOT (BINARY NEW.UID <=> BINARY OLD.UID) THEN
    UPDATE TVXTYPEKEYS SET UID = NEW.UID WHERE UID = OLD.UID;
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_TYPE_KEY_DELETE AFTER DELETE ON TYPETABLE FOR EACH ROW
DELETE FROM TVXTYPEKEYS WHERE UID = OLD.UID //

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MEMBER_KEY_INSERT AFTER INSERT ON USERGROUPTABLE FOR EACH ROW
INSERT IGNORE INTO TVXMEMBERKEYS (GROUPID, USERID) VALUES (NEW.GROUPID, NEW.USERID) //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MEMBER_KEY_UPDATE AFTER UPDATE ON USERGROUPTABLE FOR EACH ROW
BEGIN
  IF NOT (BINARY NEW.GROUPID <=> BINARY OLD.GROUPID AND BINARY NEW.USERID <=> BINARY OLD.USERID) THEN
    UPDATE TVXMEMBERKEYS SET GROUPID = NEW.GROUPID, USERID = NEW.USERID
      WHERE GROUPID = OLD.GROUPID AND USERID = OLD.USERID;
  END IF;
END //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MEMBER_KEY_DELETE AFTER DELETE ON USERGROUPTABLE FOR EACH ROW
DELETE FROM TVXMEMBERKEYS WHERE GROUPID = OLD.GROUPID AND USERID = OLD.USERID //

-- Points a foreign key at its key table (a store made before them names the
-- row table), once; without the foreign-key checks the key is added in place,
-- as the rows name only keys the tables hold. Rerunnable.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_LINK_TO_KEYS(
  child VARCHAR(64), link VARCHAR(64), child_column VARCHAR(64), keys_table VARCHAR(64), key_column VARCHAR(64))
SQL SECURITY INVOKER MODIFIES SQL DATA
BEGIN
  DECLARE target VARCHAR(64) DEFAULT (SELECT REFERENCED_TABLE_NAME FROM information_schema.REFERENTIAL_CONSTRAINTS
                                      WHERE CONSTRAINT_SCHEMA = DATABASE() AND CONSTRAINT_NAME = link
                                        AND LOWER(TABLE_NAME) = LOWER(child));
  DECLARE checks INT DEFAULT @@foreign_key_checks;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET SESSION foreign_key_checks = checks;
    RESIGNAL;
  END;
  IF target IS NULL OR LOWER(target) <> LOWER(keys_table) THEN
    SET SESSION foreign_key_checks = 0;
    IF target IS NOT NULL THEN
      EXECUTE IMMEDIATE CONCAT('ALTER TABLE ', child, ' DROP FOREIGN KEY ', link);
    END IF;
    EXECUTE IMMEDIATE CONCAT('ALTER TABLE ', child, ' ADD CONSTRAINT ', link, ' FOREIGN KEY (', child_column,
                             ') REFERENCES ', keys_table, ' (', key_column, ') ON DELETE CASCADE ON UPDATE CASCADE');
    SET SESSION foreign_key_checks = checks;
  END IF;
END //

-- The stored master password, as last committed, locked for the rest of the
-- transaction: shared for a save, for itself (administrators only) for a
-- master-password change.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_MASTER_PASSWORD(for_change TINYINT)
RETURNS BLOB
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE stored BLOB DEFAULT NULL;
  DECLARE CONTINUE HANDLER FOR NOT FOUND SET stored = NULL;
  IF for_change THEN
    IF NOT TVX_UNRULED() THEN CALL TVX_REFUSE(); END IF;
    SELECT VALUE INTO stored FROM TVXMASTERPASSWORDTABLE WHERE NAME = 'DBPASSWORD' FOR UPDATE;
  ELSE
    SELECT VALUE INTO stored FROM TVXMASTERPASSWORDTABLE WHERE NAME = 'DBPASSWORD' LOCK IN SHARE MODE;
  END IF;
  RETURN stored;
END //

DELIMITER ;

-- The session's reader and whether it reads everything, asked once per
-- statement: declared deterministic so that the server keeps the answer of
-- each uncorrelated subquery below for the statement (a session's account
-- does not change within one) instead of asking again for every row.
DELIMITER //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_READER_ID()
RETURNS VARCHAR(16) CHARACTER SET utf8mb4
DETERMINISTIC SQL SECURITY DEFINER READS SQL DATA
RETURN TVX_ACTIVE_USERID() //
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_READS_ALL()
RETURNS TINYINT
DETERMINISTIC SQL SECURITY DEFINER READS SQL DATA
RETURN TVX_UNRULED() //
DELIMITER ;

-- What a session reads of the records and their parts: those of the groups
-- it sees (as TVX_SEES_GROUP: its groups, its personal group, the unfiled
-- group; every group for an administrator and the store tool; none for a
-- disabled account). Writes go through to the rows and their triggers.
-- Cheap on a whole load: the groups seen are made once per statement into a
-- small set, and each row is one lookup there by the bytes of its group
-- uid (uids are upper-case hexadecimal; a byte key hashes faster than a
-- collation's). A part looks up its own record by key (an IN over the records
-- made the server walk every record for a few thousand parts), in the narrow
-- index RECORD_READER: left to itself the server reads the wide record rows,
-- which took a quarter longer for the custom field sets of a million-record
-- store and half again as long for its attachments.
-- The groups the session sees, as the bytes of their uids; made once per
-- statement (not merged into the reader). No store account reads it itself.
CREATE OR REPLACE ALGORITHM = TEMPTABLE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW TVXSEENGROUPS AS
SELECT CAST(g.UID AS BINARY) AS UID FROM TVXGROUPKEYS g
WHERE (SELECT TVX_READS_ALL())
   OR (SELECT TVX_READER_ID()) IS NOT NULL
      AND (g.UID = '0000000000000000' OR g.UID = (SELECT TVX_READER_ID())
           OR g.UID IN (SELECT GROUPID FROM TVXMEMBERKEYS WHERE USERID = (SELECT TVX_READER_ID())));

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW RECORDTABLE AS
SELECT * FROM RECORDROWS
WHERE CAST(GROUPUID AS BINARY) IN (SELECT UID FROM TVXSEENGROUPS);

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW CUSTOMTYPETABLE AS
SELECT * FROM CUSTOMTYPEROWS c
WHERE EXISTS (SELECT 1 FROM RECORDROWS r FORCE INDEX (RECORD_READER)
              WHERE r.RECORDID = c.RECORDID AND CAST(r.GROUPUID AS BINARY) IN (SELECT UID FROM TVXSEENGROUPS));

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW ATTACHMENTTABLE AS
SELECT * FROM ATTACHMENTROWS a
WHERE EXISTS (SELECT 1 FROM RECORDROWS r FORCE INDEX (RECORD_READER)
              WHERE r.RECORDID = a.RECORDID AND CAST(r.GROUPUID AS BINARY) IN (SELECT UID FROM TVXSEENGROUPS));

-- A user's recent lists and column settings: an ordinary account reads and
-- removes only its own rows (administrators and the store tool every user's;
-- the event log shows them each view anyway), a disabled one none. Writes go
-- through to the rows and their triggers; ROWKEY stays out of sight.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW MOSTVIEWEDTABLE AS
SELECT * FROM MOSTVIEWEDROWS WHERE (SELECT TVX_READS_ALL()) OR USERID = (SELECT TVX_READER_ID());
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW RECENTLYVIEWEDTABLE AS
SELECT * FROM RECENTLYVIEWEDROWS WHERE (SELECT TVX_READS_ALL()) OR USERID = (SELECT TVX_READER_ID());
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW RECENTLYMODIFIEDTABLE AS
SELECT * FROM RECENTLYMODIFIEDROWS WHERE (SELECT TVX_READS_ALL()) OR USERID = (SELECT TVX_READER_ID());
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW RECENTLYADDEDTABLE AS
SELECT * FROM RECENTLYADDEDROWS WHERE (SELECT TVX_READS_ALL()) OR USERID = (SELECT TVX_READER_ID());
-- The same rows with their keys, for trimming a list to its newest rows.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW RECENTLYADDEDKEYS AS
SELECT USERID, RECORDID, ROWKEY FROM RECENTLYADDEDROWS
WHERE (SELECT TVX_READS_ALL()) OR USERID = (SELECT TVX_READER_ID());
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW COLUMNINFOTABLE AS
SELECT * FROM COLUMNINFOROWS WHERE (SELECT TVX_READS_ALL()) OR USERID = (SELECT TVX_READER_ID());

-- The keys of a store made before them, or of an upgrade that stopped
-- halfway; then the foreign keys point at them.
INSERT INTO TVXGROUPKEYS (UID, RECORDPERMISSION, GROUPPERMISSIONPREVAILS)
SELECT UID, RECORDPERMISSION, GROUPPERMISSIONPREVAILS FROM GROUPTABLE
ON DUPLICATE KEY UPDATE RECORDPERMISSION = VALUES(RECORDPERMISSION),
                        GROUPPERMISSIONPREVAILS = VALUES(GROUPPERMISSIONPREVAILS);
DELETE k FROM TVXGROUPKEYS k LEFT JOIN GROUPTABLE g ON g.UID = k.UID WHERE g.UID IS NULL;
INSERT IGNORE INTO TVXTYPEKEYS (UID) SELECT UID FROM TYPETABLE;
DELETE k FROM TVXTYPEKEYS k LEFT JOIN TYPETABLE t ON t.UID = k.UID WHERE t.UID IS NULL;
INSERT IGNORE INTO TVXMEMBERKEYS (GROUPID, USERID) SELECT GROUPID, USERID FROM USERGROUPTABLE;
DELETE k FROM TVXMEMBERKEYS k LEFT JOIN USERGROUPTABLE m ON m.GROUPID = k.GROUPID AND m.USERID = k.USERID
WHERE m.GROUPID IS NULL;
CALL TVX_LINK_TO_KEYS('RECORDROWS', 'RECORD_GROUP_FK', 'GROUPUID', 'TVXGROUPKEYS', 'UID');
CALL TVX_LINK_TO_KEYS('RECORDROWS', 'RECORD_TYPE_FK', 'TYPEUID', 'TVXTYPEKEYS', 'UID');
CALL TVX_LINK_TO_KEYS('USERGROUPTABLE', 'USERGROUP_GROUP_FK', 'GROUPID', 'TVXGROUPKEYS', 'UID');
CALL TVX_LINK_TO_KEYS('USERGROUPTABLE', 'USERGROUP_USER_FK', 'USERID', 'TVXUSERKEYS', 'USERID');
CALL TVX_LINK_TO_KEYS('GROUPSUBGROUPTABLE', 'GROUPSUBGROUP_GROUP_FK', 'GROUPID', 'TVXGROUPKEYS', 'UID');
CALL TVX_LINK_TO_KEYS('APPPREFTABLE', 'APPPREF_USER_FK', 'USERID', 'TVXUSERKEYS', 'USERID');
CALL TVX_LINK_TO_KEYS('MOSTVIEWEDROWS', 'MOSTVIEWED_USER_FK', 'USERID', 'TVXUSERKEYS', 'USERID');
CALL TVX_LINK_TO_KEYS('RECENTLYVIEWEDROWS', 'RECENTLYVIEWED_USER_FK', 'USERID', 'TVXUSERKEYS', 'USERID');
CALL TVX_LINK_TO_KEYS('RECENTLYMODIFIEDROWS', 'RECENTLYMODIFIED_USER_FK', 'USERID', 'TVXUSERKEYS', 'USERID');
CALL TVX_LINK_TO_KEYS('RECENTLYADDEDROWS', 'RECENTLYADDED_USER_FK', 'USERID', 'TVXUSERKEYS', 'USERID');
