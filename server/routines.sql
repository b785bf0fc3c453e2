-- Routines, triggers and views of the store. They run as
-- 'tvx_definer'@'localhost', a locked account no one logs in as; inside them
-- USER() still names the logged-in account, whose name part is what they check.
-- Statements end at the current delimiter, as in the mariadb client.
-- Administrators hold EXECUTE on the account procedures (TVX_CREATE_ACCOUNT
-- and those beside it); every store account on TVX_SESSION_USERID,
-- TVX_IS_ADMIN and TVX_ACCOUNT_IS_ADMIN (server/grants.txt).

-- Who is a store account and who an administrator, as the rights routine
-- last granted them. InnoDB: the checks below run inside the client's
-- transactions, which a read of the server's own (Aria) account tables would
-- leave unable to set savepoints. No store account may write it.
CREATE TABLE IF NOT EXISTS STOREACCOUNTTABLE (
  USERNAME VARCHAR(80) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  ISADMIN  BOOL NOT NULL DEFAULT 0,
  PRIMARY KEY (USERNAME)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- What the rules read of the user rows, kept by the triggers on USERTABLE
-- below, and the target of the foreign keys that name a user: no store
-- account may read or lock it, so that a locking read of USERTABLE, which
-- every account may read, holds up no other account's write.
CREATE TABLE IF NOT EXISTS TVXUSERKEYS (
  USERID            VARCHAR(16) NOT NULL,
  USERNAME          VARCHAR(40) NOT NULL,
  GROUPPERMISSION   INT NOT NULL DEFAULT 0,
  TYPEPERMISSION    INT NOT NULL DEFAULT 0,
  RECORDPERMISSION  INT NOT NULL DEFAULT 0,
  ISACCOUNTDISABLED BOOL NOT NULL DEFAULT 0,
  PRIMARY KEY (USERID),
  KEY USERNAME (USERNAME)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

DELIMITER //

-- The USERID of the session's account; NULL when it has no user row.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_SESSION_USERID()
RETURNS VARCHAR(16) CHARACTER SET utf8mb4
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE session_name VARCHAR(80) CHARACTER SET utf8mb4 DEFAULT SUBSTRING_INDEX(USER(), '@', 1);
  -- The name column compares without case; server account names do not.
  RETURN (SELECT USERID FROM TVXUSERKEYS
          WHERE USERNAME = session_name AND BINARY USERNAME = BINARY session_name LIMIT 1);
END//

-- The session's USERID while its account may write: NULL when it has no user
-- row or its account is disabled. The USERID is asked first: a function in
-- the condition would be asked again for every user row, which each row of
-- the event log and an import pays.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_ACTIVE_USERID()
RETURNS VARCHAR(16) CHARACTER SET utf8mb4
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE me VARCHAR(16) CHARACTER SET utf8mb4 DEFAULT TVX_SESSION_USERID();
  RETURN (SELECT USERID FROM TVXUSERKEYS WHERE USERID = me AND NOT ISACCOUNTDISABLED);
END//

-- 1 when the named account is a store administrator: it has a user row and
-- was last granted the administrators' rights (EXECUTE on the account
-- procedures), which only the rights routine grants and records.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_ACCOUNT_IS_ADMIN(account_name VARCHAR(80))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN EXISTS (SELECT 1 FROM TVXUSERKEYS
               WHERE USERNAME = account_name AND BINARY USERNAME = BINARY account_name)
       AND EXISTS (SELECT 1 FROM STOREACCOUNTTABLE
                   WHERE USERNAME = account_name COLLATE utf8mb4_bin AND ISADMIN)//

-- 1 when the session's account is a store administrator, else 0.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_IS_ADMIN()
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN TVX_ACCOUNT_IS_ADMIN(SUBSTRING_INDEX(USER(), '@', 1))//

-- 1 when some server account (at any host) or role holds the name.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_ACCOUNT_NAME_TAKEN(account_name VARCHAR(80))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
RETURN EXISTS (SELECT 1 FROM mysql.global_priv WHERE BINARY User = BINARY account_name)//

-- Refuses a name outside the account-name rule (no quotes, no wildcards, no
-- line breaks: a pattern's '$' would let a final one through) and the names
-- the server keeps for itself, in any case.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_NAME(account_name VARCHAR(80))
SQL SECURITY DEFINER NO SQL
BEGIN
  IF account_name IS NULL OR CHAR_LENGTH(account_name) NOT BETWEEN 1 AND 16
     OR CAST(account_name AS BINARY) REGEXP '[^A-Za-z0-9_.-]'
     OR LOWER(account_name) IN ('root', 'public', 'none', 'current_user', 'current_role', 'tvx_definer')
     OR LOWER(account_name) LIKE 'mysql.%' OR LOWER(account_name) LIKE 'mariadb.%' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Not a valid account name';
  END IF;
END//

-- Refuses a name that is not a store account: the store's accounts are those
-- at host '%' that hold the rights every store account holds and nothing
-- server-wide.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_STORE_ACCOUNT(account_name VARCHAR(80))
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  CALL TVX_CHECK_NAME(account_name);
  IF NOT EXISTS (SELECT 1 FROM mysql.procs_priv
                 WHERE Db = 'tolvanexdb' AND BINARY User = BINARY account_name AND Host = '%'
                   AND Routine_name = 'TVX_SESSION_USERID' AND Routine_type = 'FUNCTION'
                   AND FIND_IN_SET('Execute', Proc_priv) > 0)
     OR NOT EXISTS (SELECT 1 FROM mysql.global_priv
                    WHERE BINARY User = BINARY account_name AND Host = '%'
                      AND JSON_VALUE(Priv, '$.access') = 0) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Not an account of the store';
  END IF;
END//

-- Refuses a name that some server account holds already (at any host).
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_NEW_NAME(account_name VARCHAR(80))
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  CALL TVX_CHECK_NAME(account_name);
  IF TVX_ACCOUNT_NAME_TAKEN(account_name) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'A server account of that name exists already';
  END IF;
END//

-- Refuses an empty password; returns the server's hash of the password, so
-- that no statement text carries the password itself.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_PASSWORD_HASH(account_password TEXT)
RETURNS VARCHAR(64) CHARACTER SET latin1
SQL SECURITY DEFINER NO SQL
BEGIN
  IF account_password IS NULL OR account_password = '' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'An account password must not be empty';
  END IF;
  RETURN PASSWORD(account_password);
END//

-- Gives an account exactly the rights of server/grants.txt for its role; the
-- store tool writes the GRANT statements in place of the marker below. Only
-- the store tool (and the account procedures) may run it.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_APPLY_RIGHTS(account_name VARCHAR(80), account_host VARCHAR(255), administrator TINYINT)
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  DECLARE account VARCHAR(400) DEFAULT CONCAT(QUOTE(account_name), '@', QUOTE(account_host));
  -- Granting EXECUTE on a procedure that is running (the caller) counts as
  -- recursion: allow one level while granting.
  DECLARE saved_depth INT DEFAULT @@SESSION.max_sp_recursion_depth;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET SESSION max_sp_recursion_depth = saved_depth;
    RESIGNAL;
  END;
  CALL TVX_CHECK_NAME(account_name);
  SET SESSION max_sp_recursion_depth = GREATEST(saved_depth, 1);
  EXECUTE IMMEDIATE CONCAT('REVOKE ALL PRIVILEGES, GRANT OPTION FROM ', account);
  -- @STORE_GRANTS@
  INSERT INTO STOREACCOUNTTABLE (USERNAME, ISADMIN) VALUES (account_name, administrator <> 0)
    ON DUPLICATE KEY UPDATE ISADMIN = VALUES(ISADMIN);
  SET SESSION max_sp_recursion_depth = saved_depth;
END//

-- The account window's operations, for administrators.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CREATE_ACCOUNT(account_name VARCHAR(80), account_password TEXT, administrator TINYINT)
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  DECLARE password_hash VARCHAR(64) CHARACTER SET latin1 DEFAULT TVX_PASSWORD_HASH(account_password);
  CALL TVX_CHECK_NEW_NAME(account_name);
  -- TLS whenever the server offers it; a server without it (run unencrypted on
  -- purpose) could never let such an account in.
  EXECUTE IMMEDIATE CONCAT('CREATE USER ', QUOTE(account_name), '@''%'' IDENTIFIED BY PASSWORD ',
                           QUOTE(password_hash), IF(@@have_ssl = 'YES', ' REQUIRE SSL', ''));
  CALL TVX_APPLY_RIGHTS(account_name, '%', administrator);
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_SET_ACCOUNT_PASSWORD(account_name VARCHAR(80), account_password TEXT)
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  DECLARE password_hash VARCHAR(64) CHARACTER SET latin1 DEFAULT TVX_PASSWORD_HASH(account_password);
  CALL TVX_CHECK_STORE_ACCOUNT(account_name);
  EXECUTE IMMEDIATE CONCAT('ALTER USER ', QUOTE(account_name), '@''%'' IDENTIFIED BY PASSWORD ',
                           QUOTE(password_hash));
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_RENAME_ACCOUNT(old_name VARCHAR(80), new_name VARCHAR(80))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  CALL TVX_CHECK_STORE_ACCOUNT(old_name);
  CALL TVX_CHECK_NEW_NAME(new_name);
  EXECUTE IMMEDIATE CONCAT('RENAME USER ', QUOTE(old_name), '@''%'' TO ', QUOTE(new_name), '@''%''');
  DELETE FROM STOREACCOUNTTABLE WHERE USERNAME = new_name COLLATE utf8mb4_bin;
  UPDATE STOREACCOUNTTABLE SET USERNAME = new_name WHERE USERNAME = old_name COLLATE utf8mb4_bin;
END//

-- A name no server account holds counts as dropped already.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_DROP_ACCOUNT(account_name VARCHAR(80))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  CALL TVX_CHECK_NAME(account_name);
  IF TVX_ACCOUNT_NAME_TAKEN(account_name) THEN
    CALL TVX_CHECK_STORE_ACCOUNT(account_name);
    EXECUTE IMMEDIATE CONCAT('DROP USER ', QUOTE(account_name), '@''%''');
    DELETE FROM STOREACCOUNTTABLE WHERE USERNAME = account_name COLLATE utf8mb4_bin;
  END IF;
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_GRANT_ACCOUNT(account_name VARCHAR(80), administrator TINYINT)
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  CALL TVX_CHECK_STORE_ACCOUNT(account_name);
  CALL TVX_APPLY_RIGHTS(account_name, '%', administrator);
END//

-- Rows that belong to one user: only that user, an administrator, or a
-- server account that is none of the store's (the server's own
-- administrators, who could drop these triggers anyway) may write them.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' FUNCTION TVX_MAY_WRITE_ROW_OF(row_userid VARCHAR(30))
RETURNS TINYINT
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  DECLARE session_name VARCHAR(80) CHARACTER SET utf8mb4 DEFAULT SUBSTRING_INDEX(USER(), '@', 1);
  -- A store account was granted the store's rights; one that deleted its own
  -- user row stays a store account.
  IF NOT EXISTS (SELECT 1 FROM STOREACCOUNTTABLE WHERE USERNAME = session_name COLLATE utf8mb4_bin) THEN
    RETURN 1;
  END IF;
  -- A disabled account writes nothing, its own rows included.
  IF TVX_ACTIVE_USERID() IS NULL THEN
    RETURN 0;
  END IF;
  IF row_userid IS NOT NULL AND BINARY row_userid = BINARY TVX_SESSION_USERID() THEN
    RETURN 1;
  END IF;
  RETURN TVX_IS_ADMIN();
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_CHECK_ROW_OWNER(row_userid VARCHAR(30))
SQL SECURITY DEFINER READS SQL DATA
BEGIN
  IF NOT TVX_MAY_WRITE_ROW_OF(row_userid) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Only its own user or an administrator may change this row';
  END IF;
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_USERTABLE_UPDATE
BEFORE UPDATE ON USERTABLE FOR EACH ROW
BEGIN
  CALL TVX_CHECK_ROW_OWNER(OLD.USERID);
  CALL TVX_CHECK_ROW_OWNER(NEW.USERID);
  -- An account that may not change its password may not change its copy.
  IF NOT OLD.CANCHANGEPASSWORD AND NOT (NEW.PASSWORD <=> OLD.PASSWORD) AND NOT TVX_IS_ADMIN()
     AND EXISTS (SELECT 1 FROM STOREACCOUNTTABLE
                 WHERE USERNAME = CONVERT(SUBSTRING_INDEX(USER(), '@', 1) USING utf8mb4) COLLATE utf8mb4_bin) THEN
    SIGNAL SQLSTATE '45000' SET MYSQL_ERRNO = 45001, MESSAGE_TEXT = 'You don''t have sufficient access permissions.';
  END IF;
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_USERTABLE_DELETE
BEFORE DELETE ON USERTABLE FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//

-- The user keys follow the rows. A key's delete or new USERID goes on to the
-- rows that name the user by the foreign keys' cascade, as the row's did.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_USERTABLE_KEY_INSERT
AFTER INSERT ON USERTABLE FOR EACH ROW
INSERT INTO TVXUSERKEYS (USERID, USERNAME, GROUPPERMISSION, TYPEPERMISSION, RECORDPERMISSION, ISACCOUNTDISABLED)
VALUES (NEW.USERID, NEW.USERNAME, NEW.GROUPPERMISSION, NEW.TYPEPERMISSION, NEW.RECORDPERMISSION, NEW.ISACCOUNTDISABLED)
ON DUPLICATE KEY UPDATE USERNAME = VALUES(USERNAME), GROUPPERMISSION = VALUES(GROUPPERMISSION),
  TYPEPERMISSION = VALUES(TYPEPERMISSION), RECORDPERMISSION = VALUES(RECORDPERMISSION),
  ISACCOUNTDISABLED = VALUES(ISACCOUNTDISABLED)//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_USERTABLE_KEY_UPDATE
AFTER UPDATE ON USERTABLE FOR EACH ROW
BEGIN
  -- A password copy's change touches no key: no lock on it either.
  IF NOT (BINARY NEW.USERID <=> BINARY OLD.USERID AND BINARY NEW.USERNAME <=> BINARY OLD.USERNAME
          AND NEW.GROUPPERMISSION <=> OLD.GROUPPERMISSION AND NEW.TYPEPERMISSION <=> OLD.TYPEPERMISSION
          AND NEW.RECORDPERMISSION <=> OLD.RECORDPERMISSION AND NEW.ISACCOUNTDISABLED <=> OLD.ISACCOUNTDISABLED) THEN
    UPDATE TVXUSERKEYS SET USERID = NEW.USERID, USERNAME = NEW.USERNAME, GROUPPERMISSION = NEW.GROUPPERMISSION,
                           TYPEPERMISSION = NEW.TYPEPERMISSION, RECORDPERMISSION = NEW.RECORDPERMISSION,
                           ISACCOUNTDISABLED = NEW.ISACCOUNTDISABLED
      WHERE USERID = OLD.USERID;
  END IF;
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_USERTABLE_KEY_DELETE
AFTER DELETE ON USERTABLE FOR EACH ROW
DELETE FROM TVXUSERKEYS WHERE USERID = OLD.USERID//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_APPPREFTABLE_UPDATE
BEFORE UPDATE ON APPPREFTABLE FOR EACH ROW
BEGIN
  CALL TVX_CHECK_ROW_OWNER(OLD.USERID);
  CALL TVX_CHECK_ROW_OWNER(NEW.USERID);
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_APPPREFTABLE_DELETE
BEFORE DELETE ON APPPREFTABLE FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_COLUMNINFOTABLE_INSERT
BEFORE INSERT ON COLUMNINFOROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(NEW.USERID)//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_COLUMNINFOTABLE_UPDATE
BEFORE UPDATE ON COLUMNINFOROWS FOR EACH ROW
BEGIN
  CALL TVX_CHECK_ROW_OWNER(OLD.USERID);
  CALL TVX_CHECK_ROW_OWNER(NEW.USERID);
END//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_COLUMNINFOTABLE_DELETE
BEFORE DELETE ON COLUMNINFOROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//

CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MOSTVIEWEDTABLE_INSERT
BEFORE INSERT ON MOSTVIEWEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(NEW.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_MOSTVIEWEDTABLE_DELETE
BEFORE DELETE ON MOSTVIEWEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYVIEWEDTABLE_INSERT
BEFORE INSERT ON RECENTLYVIEWEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(NEW.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYVIEWEDTABLE_DELETE
BEFORE DELETE ON RECENTLYVIEWEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYMODIFIEDTABLE_INSERT
BEFORE INSERT ON RECENTLYMODIFIEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(NEW.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYMODIFIEDTABLE_DELETE
BEFORE DELETE ON RECENTLYMODIFIEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYADDEDTABLE_INSERT
BEFORE INSERT ON RECENTLYADDEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(NEW.USERID)//
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' TRIGGER TVX_RECENTLYADDEDTABLE_DELETE
BEFORE DELETE ON RECENTLYADDEDROWS FOR EACH ROW CALL TVX_CHECK_ROW_OWNER(OLD.USERID)//

-- The session's own preference row, hint columns included: ordinary accounts
-- may read those columns of no other row.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' SQL SECURITY DEFINER VIEW APPPREFSELFVIEW AS
SELECT * FROM APPPREFTABLE WHERE USERID = TVX_SESSION_USERID()//

-- Unblocking an account the server blocked after too many wrong passwords in
-- a row (max_password_errors), for administrators. An ALTER USER without a
-- clause clears the server's count of wrong passwords; an account locked on
-- purpose stays locked.
CREATE OR REPLACE DEFINER = 'tvx_definer'@'localhost' PROCEDURE TVX_UNBLOCK_ACCOUNT(account_name VARCHAR(80))
SQL SECURITY DEFINER MODIFIES SQL DATA
BEGIN
  CALL TVX_CHECK_STORE_ACCOUNT(account_name);
  EXECUTE IMMEDIATE CONCAT('ALTER USER ', QUOTE(account_name), '@''%''');
END//

DELIMITER ;

-- The user keys of a store made before them, or of an upgrade that stopped
-- halfway.
INSERT INTO TVXUSERKEYS (USERID, USERNAME, GROUPPERMISSION, TYPEPERMISSION, RECORDPERMISSION, ISACCOUNTDISABLED)
SELECT USERID, USERNAME, GROUPPERMISSION, TYPEPERMISSION, RECORDPERMISSION, ISACCOUNTDISABLED FROM USERTABLE
ON DUPLICATE KEY UPDATE USERNAME = VALUES(USERNAME), GROUPPERMISSION = VALUES(GROUPPERMISSION),
  TYPEPERMISSION = VALUES(TYPEPERMISSION), RECORDPERMISSION = VALUES(RECORDPERMISSION),
  ISACCOUNTDISABLED = VALUES(ISACCOUNTDISABLED);
DELETE k FROM TVXUSERKEYS k LEFT JOIN USERTABLE u ON u.USERID = k.USERID WHERE u.USERID IS NULL;
