select @@trancount, @@rowcount, @@identity, @@error, @@spid, @@version, @@lock_timeout
