! A Fortran client of the status check, declared the way such programs bind to it.
program status_caller
    use, intrinsic :: iso_c_binding, only: c_int32_t
    implicit none
    interface
        subroutine check_status(status) bind(C, name="quimbel_mp_check_status_")
            import :: c_int32_t
            integer(c_int32_t), intent(in) :: status
        end subroutine check_status
    end interface

    call check_status(0_c_int32_t)
    call check_status(8_c_int32_t)
    print '(a)', 'not reached'
end program status_caller
