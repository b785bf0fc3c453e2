#pragma once
// Every SQL text the client sends, exactly as it is sent (spacing and letter
// case included). Texts with '?' are prepared and bound by position from 1.
// The "%s" of the two name tests takes the hexadecimal form of the enciphered
// name; the "%@" of the password text takes quoted, escaped values only.

// clang-format off
inline constexpr char kQueryGroupNotPersonal[] =
    "SELECT * FROM GROUPTABLE WHERE UID NOT IN (SELECT USERID FROM USERTABLE)";
inline constexpr char kQueryGroupNames[] =
    "select NAME from GROUPTABLE WHERE NAME=?";
inline constexpr char kQueryGroupInsert[] =
    "Insert  IGNORE into GROUPTABLE(Name,UID,RecordPermission,GroupPermissionprevails ) VALUES (?,?,?,?)";
inline constexpr char kQueryGroupUpdate[] =
    "Update GROUPTABLE SET Name=?,RecordPermission=?,GroupPermissionprevails=? where UID=?";
inline constexpr char kQueryGroupDelete[] =
    "DELETE FROM GROUPTABLE WHERE UID=?";
inline constexpr char kQueryGroupNameLike[] =
    "SELECT * FROM grouptable WHERE name = CAST( x'%s' As Binary )";
inline constexpr char kQueryPersonalGroup[] =
    "SELECT * FROM GROUPTABLE WHERE UID=?";
inline constexpr char kQueryGroupUpdateName[] =
    "Update GROUPTABLE SET Name=? where UID=?";
inline constexpr char kQueryTypes[] =
    "select * from TYPETABLE";
inline constexpr char kQueryTypeNames[] =
    "select NAME from TYPETABLE WHERE NAME=?";
inline constexpr char kQueryTypeInsert[] =
    "Insert  IGNORE into TYPETABLE (UID , NAME ,ICONID , MASKS , FIELD1 , FIELD2 , FIELD3 , FIELD4 , FIELD5 , FIELD6 , FIELD7 , FIELD8 , FIELD9 , FIELD10 ) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
inline constexpr char kQueryUpdateType[] =
    "Update TYPETABLE SET NAME=?,ICONID=?, MASKS=? , FIELD1=?, FIELD2=?, FIELD3=?, FIELD4=?, FIELD5=?, FIELD6=?, FIELD7=?, FIELD8=?, FIELD9=?, FIELD10=? where UID=?";
inline constexpr char kQueryDeleteType[] =
    "Delete from TYPETABLE WHERE UID=?";
inline constexpr char kQueryTypeNameLike[] =
    "SELECT * FROM typetable WHERE name = CAST( x'%s' As Binary )";
inline constexpr char kQueryRecords[] =
    "select * from RECORDTABLE";
inline constexpr char kQueryRecordInsert[] =
    "Insert  IGNORE into RECORDTABLE (RECORDID, GROUPUID, TYPEUID, FIELD1, FIELD2, FIELD3, FIELD4, FIELD5, FIELD6, FIELD7, FIELD8, FIELD9, FIELD10, NOTE, HASATTACHMENT,HASCUSTOMFIELD,VIEWCOUNT ) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) ";
inline constexpr char kQueryUpdateRecord[] =
    "Update RECORDTABLE Set GROUPUID = ?, TYPEUID = ?,  FIELD1=?, FIELD2=?, FIELD3=?, FIELD4=?, FIELD5=?, FIELD6=?, FIELD7=?, FIELD8=?, FIELD9=?,FIELD10 = ?,NOTE = ?, HASATTACHMENT = ?,HASCUSTOMFIELD = ? where RECORDID=?";
inline constexpr char kQueryDeleteRecord[] =
    "Delete from RECORDTABLE WHERE RECORDID=?";
inline constexpr char kQueryUpdateRecordViewCount[] =
    "UPDATE IGNORE RECORDTABLE SET VIEWCOUNT=VIEWCOUNT+1 WHERE RECORDID=?";
inline constexpr char kQueryRemoveUIDDeletedGroup[] =
    "UPDATE RECORDTABLE SET GROUPUID=? WHERE GROUPUID=?";
inline constexpr char kQueryUserPersonalRecords[] =
    "SELECT * FROM RECORDTABLE WHERE GROUPUID = ?";
inline constexpr char kQueryUpdatePersonalRecord[] =
    "Update RECORDTABLE Set  FIELD1=?, FIELD2=?, FIELD3=?, FIELD4=?, FIELD5=?, FIELD6=?, FIELD7=?, FIELD8=?, FIELD9=?,FIELD10 = ?,NOTE = ?, HASATTACHMENT = ?,HASCUSTOMFIELD = ? where RECORDID=?";
inline constexpr char kQueryCustomType[] =
    "select * from CUSTOMTYPETABLE where RECORDID = ?";
inline constexpr char kQueryReplaceCustomType[] =
    "REPLACE INTO CUSTOMTYPETABLE VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr char kQueryDeleteCustomType[] =
    " DELETE FROM CUSTOMTYPETABLE WHERE RECORDID=?";
inline constexpr char kQueryAttachments[] =
    "select * from ATTACHMENTTABLE WHERE RECORDID=?";
inline constexpr char kQueryInsertAttachmentTable[] =
    "REPLACE INTO ATTACHMENTTABLE VALUES(?, ?, ?, ?)";
inline constexpr char kQueryUpdateAttachmentTable[] =
    "UPDATE  ATTACHMENTTABLE SET ATTACHMENTNAME=?,ENCRYPTIONKEY=? WHERE RECORDID= ?";
inline constexpr char kQueryDeleteAttachmentTable[] =
    "Delete from ATTACHMENTTABLE WHERE RECORDID=?";
inline constexpr char kQueryCopyAttchmentRow[] =
    "INSERT INTO ATTACHMENTTABLE(RECORDID,ATTACHMENTNAME,ENCRYPTIONKEY,DATA) SELECT ?,ATTACHMENTNAME,ENCRYPTIONKEY,DATA FROM ATTACHMENTTABLE WHERE RECORDID= ?";
inline constexpr char kQueryIcons[] =
    "SELECT * from CUSTOMICONTABLE ";
inline constexpr char SelMaxIconTblval[] =
    "SELECT MAX(ICONINDEX) FROM CUSTOMICONTABLE";
// A plain insert: a number another client took meanwhile is refused, never overwritten.
inline constexpr char kInsertCustomIconTable[] =
    "INSERT INTO CUSTOMICONTABLE VALUES(?, ?)";
inline constexpr char kQueryMostViewedTable[] =
    "SELECT * FROM MOSTVIEWEDTABLE WHERE USERID =? ";
inline constexpr char kQueryInsertMostViewedTable[] =
    "INSERT IGNORE INTO MOSTVIEWEDTABLE VALUES(?, ?)";
inline constexpr char kQueryDeleteMostViewedTable[] =
    "DELETE FROM MOSTVIEWEDTABLE WHERE RECORDID =? AND USERID =?";
inline constexpr char kQueryRemoveFirstRowMostViewed[] =
    "delete  from MOSTVIEWEDTABLE where USERID=? LIMIT 1";
inline constexpr char kQueryRecentlyViewedTable[] =
    "SELECT * FROM RECENTLYVIEWEDTABLE WHERE USERID =? ";
inline constexpr char kQueryInsertRecentlyViewedTable[] =
    "INSERT IGNORE INTO RECENTLYVIEWEDTABLE VALUES(?, ?)";
inline constexpr char kQueryDeleteRecentlyViewedTable[] =
    "DELETE FROM RECENTLYVIEWEDTABLE WHERE RECORDID =? AND USERID =?";
inline constexpr char kQueryRemoveFirstRowRecentlyViewed[] =
    "delete  from RECENTLYVIEWEDTABLE where USERID=? LIMIT 1";
inline constexpr char kQueryRecentlyModifiedTable[] =
    "SELECT * FROM RECENTLYMODIFIEDTABLE WHERE USERID =? ";
inline constexpr char kQueryInsertRecentlyModifiedTable[] =
    "INSERT IGNORE INTO RECENTLYMODIFIEDTABLE VALUES(?, ?)";
inline constexpr char kQueryDeleteRecentlyModifiedTable[] =
    "DELETE FROM RECENTLYMODIFIEDTABLE WHERE RECORDID =? AND USERID =?";
inline constexpr char kQueryRemoveFirstRowRecentlyModified[] =
    "delete  from RECENTLYMODIFIEDTABLE where USERID=? LIMIT 1";
inline constexpr char kQueryRecentlyAddedTable[] =
    "SELECT * FROM RECENTLYADDEDTABLE WHERE USERID =? ";
inline constexpr char kQueryInsertRecentlyAddedTable[] =
    "INSERT IGNORE INTO RECENTLYADDEDTABLE VALUES(?, ?)";
inline constexpr char kQueryDeleteRecentlyAddedTable[] =
    "DELETE FROM RECENTLYADDEDTABLE WHERE RECORDID =? AND USERID =?";
inline constexpr char kQueryRemoveFirstRowRecentlyAdded[] =
    "delete  from RECENTLYADDEDTABLE where USERID=? LIMIT 1";
inline constexpr char kQueryGetUserID[] =
    "SELECT USERID FROM USERTABLE WHERE USERNAME=?";
inline constexpr char kQueryUserDetails[] =
    "SELECT UT.USERID,UT.USERNAME,UT.PASSWORD,UT.PLATFORMNAME,UT.GROUPPERMISSION,UT.TYPEPERMISSION,UT.RECORDPERMISSION,UT.DATAPERMISSION,UT.CANCHANGEPASSWORD,UT.ISACCOUNTDISABLED,UIT.FULL_NAME,UIT.DESCRIPTION,UIT.EMAIL,UIT.CONTACT_INFORMATION FROM USERTABLE UT LEFT OUTER JOIN MYSQL.USER_INFO UIT ON (UT.USERNAME LIKE UIT.USER)";
inline constexpr char kRemovePasswordFromUserTable[] =
    "UPDATE USERTABLE SET PASSWORD=''";
inline constexpr char kQueryUpdateUserPassword[] =
    "UPDATE USERTABLE SET PASSWORD=? WHERE USERID=?";
inline constexpr char kQueryGetUserName[] =
    "SELECT USERNAME FROM USERTABLE WHERE USERID=?";
inline constexpr char kQueryAllUserUIDS[] =
    "SELECT USERID FROM USERTABLE";
inline constexpr char kQueryAllGroupMembers[] = "SELECT GROUPID, USERID FROM USERGROUPTABLE ORDER BY GROUPID, USERID";
inline constexpr char kQuerySelectUserGroupList[] =
    "SELECT * FROM USERGROUPTABLE WHERE USERID=?";
inline constexpr char kQuerySelectGroupUserList[] =
    "SELECT * FROM USERGROUPTABLE WHERE GROUPID=?";
inline constexpr char kQueryDeleteAllUsersForGroup[] =
    "DELETE FROM  USERGROUPTABLE WHERE GROUPID=?";
inline constexpr char kQueryInsertIntoUserGroupList[] =
    "INSERT IGNORE INTO  USERGROUPTABLE(USERID ,GROUPID ) VALUES (?,?)";
inline constexpr char kQueryDeleteGroupFromUserGroupList[] =
    "DELETE FROM  USERGROUPTABLE WHERE USERID=? AND GROUPID=?";
inline constexpr char kQueryGroupSubGroupTable[] =
    "SELECT SUBGROUPID FROM GROUPSUBGROUPTABLE WHERE GROUPID = ?";
inline constexpr char kQueryDeleteAllSubGroupForGroup[] =
    "DELETE FROM  GROUPSUBGROUPTABLE WHERE  GROUPID=?";
inline constexpr char kQueryInsertGroupSubGroupTable[] =
    "INSERT IGNORE INTO  GROUPSUBGROUPTABLE(GROUPID ,SUBGROUPID ) VALUES (?,?)";
inline constexpr char kQueryAppPreference[] =
    "SELECT * FROM APPPREFSELFVIEW WHERE USERID=? LIMIT 1";
inline constexpr char kQueryInsertToAppPreferenceTable[] =
    "INSERT IGNORE INTO APPPREFTABLE (USERID,USERNAME,CURRENTTYPE,CURRENTCATEGORY,WINDOWPOS ,SORTINFO,SHOWDETAILPANE ,DETAILPANEWIDTH ,AUTOLOCK,FONTHEIGHT ,FONTWIDTH,FONTESCAPEMENT,FONTORIENTATION ,FONTWEIGHT ,FONTITALIC  ,FONTUNDERLINE  ,FONTSTRIKEOUT  ,FONTCHARSET  , FONTOUTPRECISION  ,FONTCLIPPRECISION  ,FONTQUALITY  ,FONTPITCHANDFAMILY  ,FONTNAME, ROWCOLOR ,SLEEPMINUTES ,MAXSLEEPMINUTES ,PWDGENFLAG,CSAESENSITIVESEARCH,WHOLEWORDSEARCH,HINTQNO ,HINTQANSWER  ,HINTQUESTION ,LASTVIEW ,AUTOSUBMIT ,SEARCHCOLUMN,CLEARCLIPBOARDONEXIT,CLEARCLIPBOARDTIMER ,MINIMISETOSYSTRAY,LOGINATTEMPTCOUNT ,EXPORTIMPORTTIP,BACKUPRESTORETIP) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
inline constexpr char kQueryUpdateAppPreferenceTable[] =
    "UPDATE APPPREFTABLE SET AUTOLOCK=? ,FONTHEIGHT=?,FONTWEIGHT=?,FONTITALIC=?,FONTNAME=?,ROWCOLOR=?,SLEEPMINUTES=?,MAXSLEEPMINUTES=?,AUTOSUBMIT=?,CLEARCLIPBOARDONEXIT=?,CLEARCLIPBOARDTIMER=? WHERE USERID=?";
inline constexpr char kUpdateBasicPrefToAppPrefTable[] =
    "UPDATE APPPREFTABLE SET WINDOWPOS=?,DETAILPANEWIDTH=? WHERE USERID=?";
inline constexpr char UpdLastViewVal[] =
    "UPDATE IGNORE APPPREFTABLE SET LASTVIEW = ? WHERE USERID = ?";
inline constexpr char UpdCurCatVal[] =
    "UPDATE IGNORE APPPREFTABLE SET CURRENTCATEGORY =?  WHERE USERID = ?";
inline constexpr char UpdShowDetailPaneVal[] =
    "UPDATE IGNORE APPPREFTABLE SET SHOWDETAILPANE = ? WHERE USERID = ?";
inline constexpr char UpdSortInfoVal[] =
    "UPDATE IGNORE APPPREFTABLE SET SORTINFO = ? WHERE USERID = ?";
inline constexpr char UpdPwdGenFlagVal[] =
    "UPDATE IGNORE APPPREFTABLE SET PWDGENFLAG = ? WHERE USERID = ?";
inline constexpr char UpdLoginAtmptCntVal[] =
    "UPDATE IGNORE APPPREFTABLE SET LOGINATTEMPTCOUNT = ? WHERE USERID = ?";
inline constexpr char UpdHintQnNoVal[] =
    "UPDATE IGNORE APPPREFTABLE SET HINTQNO =?  WHERE USERID = ?";
inline constexpr char UpdHintQnAnsVal[] =
    "UPDATE IGNORE APPPREFTABLE SET HINTQANSWER = ? WHERE USERID = ?";
inline constexpr char UpdHintQnVal[] =
    "UPDATE IGNORE APPPREFTABLE SET HINTQUESTION = ? WHERE USERID = ?";
inline constexpr char kQuerySelectDatabaseInfoTable[] =
    "SELECT * FROM DATABASEINFOTABLE WHERE NAME='DBPASSWORD'";
inline constexpr char kQueryReadPasswordPolicyAttrMinLength[] =
    "SELECT VALUE FROM DATABASEINFOTABLE WHERE NAME='PASSWDPOLICYMINLENGTH'";
inline constexpr char kQueryReadPasswordPolicyAttrCharSetFlag[] =
    "SELECT VALUE FROM DATABASEINFOTABLE WHERE NAME='PASSWDPOLICYCHARSETFLAG'";
inline constexpr char KQuerySelectColumnInfoTable[] =
    "SELECT * FROM COLUMNINFOTABLE WHERE USERID = ? AND TYPEID = ? LIMIT 1";
inline constexpr char KQueryInsertIntoColumnInfoTable[] =
    "REPLACE  INTO COLUMNINFOTABLE VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr char KQueryInsertEventLoggerTable[] =
    "INSERT IGNORE INTO EVENTLOGGERTABLE VALUES(?, ?, ?, ?, ?, ?)";
inline constexpr char KQuerySelectEventLoggerTable[] =
    "SELECT * FROM EVENTLOGGERTABLE";
inline constexpr char kMinDateFromEventLoggerTable[] =
    "SELECT MIN(DATE) FROM EVENTLOGGERTABLE";
inline constexpr char kDeleteAllLogsFromEventLoggerTable[] =
    "DELETE FROM EVENTLOGGERTABLE";
inline constexpr char kQueryPrivLikeRoot[] =
    "SELECT COUNT(*) FROM MYSQL.USER WHERE USER=? AND SELECT_PRIV = 'Y' AND INSERT_PRIV = 'Y' AND UPDATE_PRIV = 'Y' AND  DELETE_PRIV = 'Y' AND CREATE_PRIV = 'Y' AND DROP_PRIV = 'Y' AND RELOAD_PRIV = 'Y' AND SHUTDOWN_PRIV = 'Y' AND PROCESS_PRIV = 'Y' AND FILE_PRIV  = 'Y' AND GRANT_PRIV = 'Y' AND REFERENCES_PRIV = 'Y' AND INDEX_PRIV = 'Y' AND ALTER_PRIV = 'Y' AND SHOW_DB_PRIV = 'Y' AND SUPER_PRIV = 'Y'AND CREATE_TMP_TABLE_PRIV = 'Y' AND LOCK_TABLES_PRIV = 'Y' AND EXECUTE_PRIV = 'Y' AND REPL_SLAVE_PRIV = 'Y' AND REPL_CLIENT_PRIV = 'Y' AND CREATE_VIEW_PRIV = 'Y' AND SHOW_VIEW_PRIV = 'Y' AND CREATE_ROUTINE_PRIV = 'Y' AND ALTER_ROUTINE_PRIV = 'Y' AND CREATE_USER_PRIV = 'Y'";
inline constexpr char kQuerySetUserPassword[] =
    "SET PASSWORD FOR '%@' = PASSWORD('%@')";
inline constexpr char kFlushPriviliges[] =
    "FLUSH PRIVILEGES";
inline constexpr char kQueryCreateDefaultSchema[] =
    "create database if not EXISTS tolvanexdb";
// clang-format on

inline constexpr char kTolvanexSchema[] = "tolvanexdb";
